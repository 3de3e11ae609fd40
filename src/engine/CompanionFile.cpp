#include "engine/CompanionFile.h"

#include <sys/stat.h>

#include <vector>

#include "engine/StagingNames.h"
#include "platform/Files.h"
#include "platform/TextEncoding.h"

namespace engine {
namespace {

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// UTF-16 bytes after their byte-order mark; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(const std::string& bytes, bool bigEndian) {
  std::string out;
  auto unit = [&](size_t i) -> char16_t {
    const auto b0 = static_cast<unsigned char>(bytes[i]);
    const auto b1 = static_cast<unsigned char>(bytes[i + 1]);
    return static_cast<char16_t>(bigEndian ? (b0 << 8 | b1) : (b1 << 8 | b0));
  };
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    char32_t c = unit(i);
    const bool high = c >= 0xD800 && c < 0xDC00;
    if (high && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 && unit(i + 2) < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
      i += 2;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::string DecodeText(const std::string& bytes) {
  if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) return bytes.substr(3);
  if (bytes.rfind("\xFF\xFE", 0) == 0) return Utf16ToUtf8(bytes, false);
  if (bytes.rfind("\xFE\xFF", 0) == 0) return Utf16ToUtf8(bytes, true);
  return platform::IsValidUtf8(bytes) ? bytes : platform::Cp1252ToUtf8(bytes);
}

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
  const std::string text = companion.ModuleName + "\r\n" + companion.ComponentKey + "\r\n" +
                           companion.AvailableVersion + "\r\n" + companion.ProgramFile + "\r\n";
  platform::WriteWholeFile(path, text.data(), text.size());
}

TStringList ReadCompanionLines(const std::string& path) {
  const std::string text = DecodeText(platform::ReadWholeFile(path));
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

std::string FindCompanion(const std::string& programFolder, const std::string& bare) {
  bool found = false;
  TCandidate best;
  for (const auto& name : CompanionNames(programFolder, bare)) {
    struct stat info;
    if (::stat((programFolder + name).c_str(), &info) != 0) continue;
    const TCandidate candidate{name, info.st_mtim};
    if (!found || WrittenLater(candidate, best)) best = candidate;
    found = true;
  }
  return found ? best.name : std::string();
}

void RemoveCompanions(const std::string& programFolder, const std::string& bare) {
  for (const auto& name : CompanionNames(programFolder, bare))
    platform::DeleteFile(programFolder + name);
  platform::SyncFolder(programFolder);
}

}  // namespace engine
