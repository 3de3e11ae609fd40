#include "engine/InstallJournal.h"

#include <charconv>
#include <string_view>
#include <vector>

#include "platform/Files.h"

namespace engine {
namespace {

// The second journal format: the first named files by paths of their own,
// this one by bare names in two folders and the installation folder's
// stamp.  A journal of the first format is no journal of ours.
constexpr const char* kHeader = "Quorvin install journal 2";
constexpr const char* kReplacing = "replacing";
constexpr const char* kRollingBack = "rolling back";
constexpr size_t kLineCount = 11;
// Far more than eleven lines of names and versions take: a larger file is
// not read at all, whatever someone put there.
constexpr int64_t kMostJournalBytes = 64 * 1024;

bool HoldsLineBreak(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    if (end == std::string::npos) break;  // a line without its end was never completed
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// A name of a file in a folder: no "/", and not "." or "..".  Only the
// companion and the old copy may be missing (empty).
bool BareName(std::string_view name, bool mayBeEmpty) {
  if (name.empty()) return mayBeEmpty;
  return name.find('/') == std::string_view::npos && name != "." && name != "..";
}

// A folder below the program folder as the journal keeps it: components
// separated and ended by "/", none empty, "." or "..", and no leading "/".
bool FolderBelow(std::string_view relative) {
  if (relative.empty() || relative.back() != '/') return false;
  relative.remove_suffix(1);
  for (;;) {
    const size_t slash = relative.find('/');
    if (!BareName(relative.substr(0, slash), false)) return false;
    if (slash == std::string_view::npos) return true;
    relative.remove_prefix(slash + 1);
  }
}

bool UsableNames(const TInstallJournal& journal) {
  return BareName(journal.StagedName, false) && BareName(journal.CompanionName, true) &&
         BareName(journal.TargetName, false) && BareName(journal.AsideName, true);
}

std::string StampText(const platform::TFolderStamp& stamp) {
  return std::to_string(stamp.Device) + " " + std::to_string(stamp.Inode) + " " +
         std::to_string(stamp.Born);
}

bool ParseNumber(std::string_view text, uint64_t& number) {
  if (text.empty() || text.front() < '0' || text.front() > '9') return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  return error == std::errc() && end == text.data() + text.size();
}

// A folder's stamp: "<device> <inode> <birth>", decimal numbers.
bool ParseStamp(std::string_view text, platform::TFolderStamp& stamp) {
  for (uint64_t* number : {&stamp.Device, &stamp.Inode}) {
    const size_t space = text.find(' ');
    if (space == std::string_view::npos || !ParseNumber(text.substr(0, space), *number))
      return false;
    text.remove_prefix(space + 1);
  }
  return ParseNumber(text, stamp.Born);
}

}  // namespace

std::string InstallJournalPath(const std::string& programFolder) {
  return programFolder + "InstallJournal.{J}";
}

bool Journallable(const std::string& programFolder, const TInstallJournal& journal) {
  for (const std::string* text :
       {&journal.StagedName, &journal.CompanionName, &journal.Folder, &journal.TargetName,
        &journal.AsideName, &journal.ModuleName, &journal.ComponentKey, &journal.AvailableVersion})
    if (HoldsLineBreak(*text)) return false;
  if (!journal.Folder.starts_with(programFolder)) return false;
  return FolderBelow(std::string_view(journal.Folder).substr(programFolder.size())) &&
         UsableNames(journal);
}

void WriteInstallJournal(const std::string& programFolder, const TInstallJournal& journal) {
  const char* phase = journal.Phase == TInstallPhase::Replacing ? kReplacing : kRollingBack;
  std::string text;
  for (const std::string& line :
       {std::string(kHeader), std::string(phase), journal.StagedName, journal.CompanionName,
        journal.Folder.substr(programFolder.size()), StampText(journal.FolderStamp),
        journal.TargetName, journal.AsideName, journal.ModuleName, journal.ComponentKey,
        journal.AvailableVersion})
    text += line + "\r\n";
  platform::WriteWholeFile(InstallJournalPath(programFolder), text.data(), text.size());
}

std::optional<TInstallJournal> ReadInstallJournal(const std::string& programFolder) {
  const std::string path = InstallJournalPath(programFolder);
  const int64_t size = platform::FileSize(path);
  if (size < 0 || size > kMostJournalBytes) return std::nullopt;
  const std::vector<std::string> lines = SplitLines(platform::ReadWholeFile(path));
  if (lines.size() != kLineCount || lines[0] != kHeader) return std::nullopt;
  if (lines[1] != kReplacing && lines[1] != kRollingBack) return std::nullopt;
  TInstallJournal journal;
  journal.Phase = lines[1] == kReplacing ? TInstallPhase::Replacing : TInstallPhase::RollingBack;
  journal.StagedName = lines[2];
  journal.CompanionName = lines[3];
  journal.Folder = programFolder + lines[4];
  if (!ParseStamp(lines[5], journal.FolderStamp)) return std::nullopt;
  journal.TargetName = lines[6];
  journal.AsideName = lines[7];
  journal.ModuleName = lines[8];
  journal.ComponentKey = lines[9];
  journal.AvailableVersion = lines[10];
  // Lines end at CR LF only; a bare CR or LF inside one, or a name that
  // could lead elsewhere, was never written by us (the writer refuses
  // them): the journal is discarded and nothing it names is touched.
  if (!Journallable(programFolder, journal)) return std::nullopt;
  return journal;
}

bool InstallJournalExists(const std::string& programFolder) {
  return platform::FileExistsOrRaise(InstallJournalPath(programFolder));
}

bool RemoveInstallJournal(const std::string& programFolder) {
  platform::DeleteFile(InstallJournalPath(programFolder));
  return platform::SyncFolder(programFolder) && !InstallJournalExists(programFolder);
}

}  // namespace engine
