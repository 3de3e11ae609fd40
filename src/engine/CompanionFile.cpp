#include "engine/CompanionFile.h"

#include <limits>
#include <string_view>
#include <vector>

#include "engine/CatalogueRelease.h"
#include "engine/ComponentDigest.h"
#include "engine/ComponentSize.h"
#include "engine/StagingNames.h"
#include "platform/Files.h"
#include "platform/TextEncoding.h"

namespace engine {
namespace {

struct TCandidate {
  std::string name;
  timespec written{};
};

bool WrittenLater(const TCandidate& a, const TCandidate& b) {
  if (a.written.tv_sec != b.written.tv_sec) return a.written.tv_sec > b.written.tv_sec;
  if (a.written.tv_nsec != b.written.tv_nsec) return a.written.tv_nsec > b.written.tv_nsec;
  return a.name > b.name;
}

std::vector<std::string> CompanionNames(const std::string& programFolder, const std::string& bare) {
  std::vector<platform::FolderEntry> entries;
  std::vector<std::string> names;
  if (!platform::ListFolder(programFolder, "*", entries)) return names;
  for (const auto& entry : entries)
    if (!entry.isFolder && IsCompanionOf(entry.name, bare)) names.push_back(entry.name);
  return names;
}

}  // namespace

void WriteCompanionFile(const std::string& path, const TCompanion& companion) {
  std::string text = companion.ModuleName + "\r\n" + companion.ComponentKey + "\r\n" +
                     companion.AvailableVersion + "\r\n" + companion.ProgramFile + "\r\n";
  if (companion.Record)
    text +=
        Sha256Field(companion.Record->Sha256) + "\r\n" + SizeField(companion.Record->Size) + "\r\n";
  // The reader takes a leading U+FEFF for a byte order mark; a module name
  // that begins with that character gets a mark of its own before it, so
  // the reader drops the mark and keeps the name.
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (text.starts_with(kByteOrderMark)) text.insert(0, kByteOrderMark);
  platform::WriteWholeFile(path, text.data(), text.size());
}

TStringList ReadCompanionLines(const std::string& path) {
  bool byteOrderMark = false;
  const std::string text = platform::DecodeTextBytes(platform::ReadWholeFile(path), byteOrderMark);
  TStringList lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.Add(text.substr(start, end - start));
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n')
      ++end;
    start = end + 1;
  }
  return lines;
}

TRecordLines ReadStagedRecord(const TStringList& lines) {
  if (lines.Count() <= kCompanionDigestLine) return {};
  const TRecordLines malformed{TRecordLines::kMalformed, {}};
  if (lines.Count() <= kCompanionSizeLine) return malformed;
  const std::string& digestLine = lines[kCompanionDigestLine];
  const std::string& sizeLine = lines[kCompanionSizeLine];
  const std::string_view digestName(kSha256FieldName), sizeName(kSizeFieldName);
  uint64_t size = 0;
  const auto digest = digestLine.starts_with(digestName)
                          ? DigestFromHex(std::string_view(digestLine).substr(digestName.size()))
                          : std::nullopt;
  if (!digest || !sizeLine.starts_with(sizeName) ||
      ParseSerial(std::string_view(sizeLine).substr(sizeName.size()), size) !=
          TSerialText::kNumber ||
      size > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
    return malformed;
  return {TRecordLines::kRecord, {*digest, static_cast<int64_t>(size)}};
}

std::string FindCompanion(const std::string& programFolder, const std::string& bare) {
  bool found = false;
  TCandidate best;
  for (const auto& name : CompanionNames(programFolder, bare)) {
    // Only a regular file is a companion: reading anything else (a FIFO
    // under such a name, say) could stall the start or never end.
    timespec written;
    if (!platform::RegularFileWrittenExact(programFolder + name, written)) continue;
    const TCandidate candidate{name, written};
    if (!found || WrittenLater(candidate, best)) best = candidate;
    found = true;
  }
  return found ? best.name : std::string();
}

void RemoveCompanions(const std::string& programFolder, const std::string& bare) {
  for (const auto& name : CompanionNames(programFolder, bare))
    platform::DeleteFileExact(programFolder + name);
}

}  // namespace engine
