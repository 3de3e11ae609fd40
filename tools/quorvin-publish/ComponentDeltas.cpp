#include "ComponentDeltas.h"

#include <filesystem>
#include <optional>

#include "DeltaCheck.h"
#include "platform/Files.h"
#include "platform/MappedFile.h"

namespace {

// The updater stages no file of 2 GiB or more, so no route to one is made.
constexpr int64_t kLargestFile = (int64_t{1} << 31) - 1;

std::span<const uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

class TDeltaMaker {
 public:
  TDeltaMaker(const TServerTree& tree, const TComponentFile& file, int level)
      : FTree(tree), FFile(file), FLevel(level) {
    FTarget.Open(file.Path);
  }

  int64_t FileSize() const { return static_cast<int64_t>(FTarget.Bytes().size()); }

  // The compressed copy (no base), or a patch from `basePath`: the sound
  // file of that name on disk, else one made now; nothing when it is not
  // smaller than `limit`.
  std::optional<TDeltaFile> Make(const std::string& path, const std::string& basePath,
                                 int64_t limit) {
    platform::TMappedFile base;
    if (!basePath.empty()) base.Open(basePath);
    const std::string onDisk = FTree.Component(path);
    if (platform::FileExists(onDisk) &&
        RebuildFault(onDisk, basePath, FFile.Digest, FileSize()).empty()) {
      const int64_t size = platform::FileSize(onDisk);
      if (size < limit) return TDeltaFile{path, size, "", ""};
    }
    std::string made = basePath.empty() ? engine::CompressedCopy(FTarget.Bytes(), FLevel)
                                        : engine::Patch(base.Bytes(), FTarget.Bytes(), FLevel);
    const int64_t size = static_cast<int64_t>(made.size());
    if (size >= limit) return std::nullopt;
    const std::string fault = RebuildFault(Bytes(made), base.Bytes(), FFile.Digest, FileSize());
    if (!fault.empty()) throw Exception(onDisk + " does not rebuild " + FFile.Path + ": " + fault);
    return TDeltaFile{path, size, "", std::move(made)};
  }

 private:
  const TServerTree& FTree;
  const TComponentFile& FFile;
  int FLevel;
  platform::TMappedFile FTarget;
};

}  // namespace

TComponentDeltas MakeComponentDeltas(const TServerTree& tree, const TComponentFile& file,
                                     const std::vector<TEarlierVersion>& earlier, int level) {
  TComponentDeltas deltas;
  deltas.FileSize = platform::FileSize(file.Path);
  if (deltas.FileSize < 0) throw Exception(file.Path + " is missing");
  if (deltas.FileSize > kLargestFile) return deltas;
  TDeltaMaker maker(tree, file, level);
  int64_t limit = deltas.FileSize;
  if (auto copy = maker.Make(engine::CompressedCopyPath(file.Bare, file.Digest), "", limit)) {
    deltas.Offer.CompressedCopy = true;
    limit = copy->Size;
    deltas.Files.push_back(std::move(*copy));
  }
  for (const TEarlierVersion& version : earlier) {
    if (platform::FileSize(version.Path) > kLargestFile) continue;
    const std::string base = engine::DigestPrefix(version.Digest);
    auto patch = maker.Make(engine::PatchPath(file.Bare, base, file.Digest), version.Path, limit);
    if (!patch) continue;
    patch->Release = version.Release;
    deltas.Offer.PatchBases.push_back(base);
    deltas.Files.push_back(std::move(*patch));
  }
  return deltas;
}

void WriteDeltaFiles(const TServerTree& tree, const TComponentDeltas& deltas) {
  for (const TDeltaFile& file : deltas.Files) {
    if (file.Made.empty()) continue;
    const std::string path = tree.Component(file.Path);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    platform::WriteWholeFile(path, file.Made.data(), file.Made.size());
  }
}
