#include "engine/KeptRoots.h"

#include "engine/CatalogueRelease.h"
#include "engine/SignatureLines.h"
#include "platform/Files.h"
#include "platform/ProfileText.h"
#include "util/Base64.h"
#include "util/Errors.h"

namespace engine {

namespace {

// Room for many rotations of the largest roots; a longer file is no file of ours.
constexpr int64_t kMaxFileSize = 4 << 20;

std::optional<TKeptRoot> ReadLine(std::string_view line) {
  const size_t first = line.find(' ');
  const size_t second = line.find(' ', first == std::string_view::npos ? first : first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  TKeptRoot kept;
  if (ParseSerial(line.substr(0, first), kept.Version) != TSerialText::kNumber) return std::nullopt;
  const auto text = DecodeBase64(line.substr(first + 1, second - first - 1));
  const auto signatures = DecodeBase64(line.substr(second + 1));
  if (!text || !signatures || text->size() > kMaxRootSize ||
      signatures->size() > kMaxSignatureFileSize)
    return std::nullopt;
  kept.Root = {*text, *signatures};
  return kept;
}

std::string FileText(const std::string& path) {
  const int64_t size = platform::FileSize(path);
  if (size <= 0 || size > kMaxFileSize) return {};
  try {
    return platform::ReadWholeFile(path);
  } catch (const EFOpenError&) {
    return {};
  }
}

}  // namespace

TKeptRoots::TKeptRoots(const std::string& programFolder) {
  const std::string text = FileText(programFolder + kKeptRootsFileName);
  for (const std::string_view line : platform::SplitProfileLines(text)) {
    auto kept = ReadLine(platform::TrimBlanks(line));
    if (!kept) break;
    FRoots.push_back(std::move(*kept));
  }
}

std::optional<TSignedRoot> TKeptRoots::Fetch(uint64_t version) {
  for (const TKeptRoot& kept : FRoots)
    if (kept.Version == version) return kept.Root;
  return std::nullopt;
}

void WriteKeptRoots(const std::string& programFolder, const std::vector<TKeptRoot>& roots) {
  const std::string path = programFolder + kKeptRootsFileName;
  if (roots.empty()) {
    if (platform::FileExists(path)) platform::DeleteFile(path);
    return;
  }
  std::string text;
  for (const TKeptRoot& kept : roots)
    text += std::to_string(kept.Version) + " " + EncodeBase64(kept.Root.Text) + " " +
            EncodeBase64(kept.Root.Signatures) + "\r\n";
  platform::WriteWholeFile(path, text.data(), text.size());
}

}  // namespace engine
