#include "ComponentDeltas.h"

#include <filesystem>

#include "DeltaCheck.h"
#include "platform/Files.h"
#include "platform/MappedFile.h"

namespace {

// The updater stages no file of 2 GiB or more, so no route to one is made.
constexpr int64_t kLargestFile = (int64_t{1} << 31) - 1;

class TDeltaMaker {
 public:
  TDeltaMaker(const TServerTree& tree, const TComponentFile& file, int level)
      : FTree(tree), FFile(file), FLevel(level) {
    FTarget.Open(file.Path);
  }

  int64_t FileSize() const { return static_cast<int64_t>(FTarget.Bytes().size()); }

  // Makes the compressed copy, or a patch from `base`, unless one of that
  // name is there and sound; returns its size, or -1 when it is not smaller
  // than `limit` (and is then not left on disk).
  int64_t Make(const std::string& path, const std::string& basePath, int64_t limit) {
    const std::string onDisk = FTree.Component(path);
    if (platform::FileExists(onDisk) && Fault(onDisk, basePath).empty()) {
      const int64_t size = platform::FileSize(onDisk);
      if (size < limit) return size;
    }
    const std::string made = Encode(basePath);
    platform::DeleteFile(onDisk);
    if (static_cast<int64_t>(made.size()) >= limit) return -1;
    std::filesystem::create_directories(std::filesystem::path(onDisk).parent_path());
    platform::WriteWholeFile(onDisk, made.data(), made.size());
    const std::string fault = Fault(onDisk, basePath);
    if (!fault.empty()) {
      platform::DeleteFile(onDisk);
      throw Exception(onDisk + " does not rebuild " + FFile.Path + ": " + fault);
    }
    return static_cast<int64_t>(made.size());
  }

 private:
  std::string Encode(const std::string& basePath) {
    if (basePath.empty()) return engine::CompressedCopy(FTarget.Bytes(), FLevel);
    platform::TMappedFile base;
    base.Open(basePath);
    return engine::Patch(base.Bytes(), FTarget.Bytes(), FLevel);
  }
  std::string Fault(const std::string& onDisk, const std::string& basePath) const {
    return RebuildFault(onDisk, basePath, FFile.Digest, FileSize());
  }

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
  const std::string copyPath = engine::CompressedCopyPath(file.Bare, file.Digest);
  int64_t limit = maker.Make(copyPath, "", deltas.FileSize);
  if (limit >= 0) {
    deltas.Offer.CompressedCopy = true;
    deltas.Files.push_back({copyPath, limit, ""});
  } else {
    limit = deltas.FileSize;
  }
  for (const TEarlierVersion& version : earlier) {
    if (platform::FileSize(version.Path) > kLargestFile) continue;
    const std::string base = engine::DigestPrefix(version.Digest);
    const std::string path = engine::PatchPath(file.Bare, base, file.Digest);
    const int64_t size = maker.Make(path, version.Path, limit);
    if (size < 0) continue;
    deltas.Offer.PatchBases.push_back(base);
    deltas.Files.push_back({path, size, version.Release});
  }
  return deltas;
}
