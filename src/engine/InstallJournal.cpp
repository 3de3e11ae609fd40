#include "engine/InstallJournal.h"

#include <vector>

#include "platform/Files.h"
#include "util/Errors.h"

namespace engine {
namespace {

constexpr const char* kHeader = "Quorvin install journal 1";
constexpr const char* kReplacing = "replacing";
constexpr const char* kRollingBack = "rolling back";

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

}  // namespace

std::string InstallJournalPath(const std::string& programFolder) {
  return programFolder + "InstallJournal.{J}";
}

void WriteInstallJournal(const std::string& path, const TInstallJournal& journal) {
  const char* phase = journal.Phase == TInstallPhase::Replacing ? kReplacing : kRollingBack;
  std::string text;
  for (const std::string& line :
       {std::string(kHeader), std::string(phase), journal.StagedFile, journal.CompanionFile,
        journal.Target, journal.Aside, journal.ModuleName, journal.ComponentKey,
        journal.AvailableVersion})
    text += line + "\r\n";
  platform::WriteWholeFile(path, text.data(), text.size());
}

std::optional<TInstallJournal> ReadInstallJournal(const std::string& path) {
  if (!platform::FileExists(path)) return std::nullopt;
  std::vector<std::string> lines;
  try {
    lines = SplitLines(platform::ReadWholeFile(path));
  } catch (const Exception&) {
    return std::nullopt;
  }
  if (lines.size() != 9 || lines[0] != kHeader) return std::nullopt;
  if (lines[1] != kReplacing && lines[1] != kRollingBack) return std::nullopt;
  if (lines[2].empty() || lines[4].empty()) return std::nullopt;
  TInstallJournal journal;
  journal.Phase = lines[1] == kReplacing ? TInstallPhase::Replacing : TInstallPhase::RollingBack;
  journal.StagedFile = lines[2];
  journal.CompanionFile = lines[3];
  journal.Target = lines[4];
  journal.Aside = lines[5];
  journal.ModuleName = lines[6];
  journal.ComponentKey = lines[7];
  journal.AvailableVersion = lines[8];
  return journal;
}

bool InstallJournalExists(const std::string& path) { return platform::FileExists(path); }

void RemoveInstallJournal(const std::string& path) {
  platform::DeleteFile(path);
  const size_t slash = path.rfind('/');
  platform::SyncFolder(slash == std::string::npos ? "." : path.substr(0, slash + 1));
}

}  // namespace engine
