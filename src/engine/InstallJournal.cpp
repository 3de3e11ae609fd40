#include "engine/InstallJournal.h"

#include <string_view>
#include <vector>

#include "platform/Files.h"

namespace engine {
namespace {

constexpr const char* kHeader = "Quorvin install journal 1";
constexpr const char* kReplacing = "replacing";
constexpr const char* kRollingBack = "rolling back";

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

bool Below(const std::string& programFolder, const std::string& path) {
  return path.size() > programFolder.size() &&
         path.compare(0, programFolder.size(), programFolder) == 0;
}

// A path as the journal keeps it, relative to the program folder, that
// cannot lead out of it: no leading "/" and no empty, "." or ".." component.
// The journal lies in a folder that others may write to, and recovery
// renames and deletes what it names.
bool StaysBelow(std::string_view relative) {
  if (relative.empty() || relative.front() == '/') return false;
  for (;;) {
    const size_t slash = relative.find('/');
    const std::string_view component = relative.substr(0, slash);
    if (component.empty() || component == "." || component == "..") return false;
    if (slash == std::string_view::npos) return true;
    relative.remove_prefix(slash + 1);
  }
}

// The staged file and the target must be named; the companion and the old
// copy may be missing.  Every path named stays below the program folder.
bool UsablePaths(const std::string& staged, const std::string& companion, const std::string& target,
                 const std::string& aside) {
  return StaysBelow(staged) && StaysBelow(target) && (companion.empty() || StaysBelow(companion)) &&
         (aside.empty() || StaysBelow(aside));
}

std::string Relative(const std::string& programFolder, const std::string& path) {
  return path.empty() ? path : path.substr(programFolder.size());
}

std::string Absolute(const std::string& programFolder, const std::string& relative) {
  return relative.empty() ? relative : programFolder + relative;
}

}  // namespace

std::string InstallJournalPath(const std::string& programFolder) {
  return programFolder + "InstallJournal.{J}";
}

bool Journallable(const std::string& programFolder, const TInstallJournal& journal) {
  for (const std::string* path :
       {&journal.StagedFile, &journal.CompanionFile, &journal.Target, &journal.Aside}) {
    if (HoldsLineBreak(*path)) return false;
    if (!path->empty() && !Below(programFolder, *path)) return false;
  }
  if (!UsablePaths(Relative(programFolder, journal.StagedFile),
                   Relative(programFolder, journal.CompanionFile),
                   Relative(programFolder, journal.Target), Relative(programFolder, journal.Aside)))
    return false;
  return !HoldsLineBreak(journal.ModuleName) && !HoldsLineBreak(journal.ComponentKey) &&
         !HoldsLineBreak(journal.AvailableVersion);
}

void WriteInstallJournal(const std::string& programFolder, const TInstallJournal& journal) {
  const char* phase = journal.Phase == TInstallPhase::Replacing ? kReplacing : kRollingBack;
  std::string text;
  for (const std::string& line :
       {std::string(kHeader), std::string(phase), Relative(programFolder, journal.StagedFile),
        Relative(programFolder, journal.CompanionFile), Relative(programFolder, journal.Target),
        Relative(programFolder, journal.Aside), journal.ModuleName, journal.ComponentKey,
        journal.AvailableVersion})
    text += line + "\r\n";
  platform::WriteWholeFile(InstallJournalPath(programFolder), text.data(), text.size());
}

std::optional<TInstallJournal> ReadInstallJournal(const std::string& programFolder) {
  const std::string path = InstallJournalPath(programFolder);
  if (!platform::FileExists(path)) return std::nullopt;
  const std::vector<std::string> lines = SplitLines(platform::ReadWholeFile(path));
  if (lines.size() != 9 || lines[0] != kHeader) return std::nullopt;
  // Lines end at CR LF only; a bare CR or LF inside one was never written
  // by us (the writer refuses such paths), so the file is no journal.
  for (const std::string& line : lines)
    if (HoldsLineBreak(line)) return std::nullopt;
  if (lines[1] != kReplacing && lines[1] != kRollingBack) return std::nullopt;
  // A path that could lead out of the program folder was never written by
  // us: the journal is discarded and nothing it names is touched.
  if (!UsablePaths(lines[2], lines[3], lines[4], lines[5])) return std::nullopt;
  TInstallJournal journal;
  journal.Phase = lines[1] == kReplacing ? TInstallPhase::Replacing : TInstallPhase::RollingBack;
  journal.StagedFile = Absolute(programFolder, lines[2]);
  journal.CompanionFile = Absolute(programFolder, lines[3]);
  journal.Target = Absolute(programFolder, lines[4]);
  journal.Aside = Absolute(programFolder, lines[5]);
  journal.ModuleName = lines[6];
  journal.ComponentKey = lines[7];
  journal.AvailableVersion = lines[8];
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
