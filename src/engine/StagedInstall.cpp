#include "engine/StagedInstall.h"

#include <cerrno>
#include <vector>

#include "engine/CompanionFile.h"
#include "engine/FolderInstall.h"
#include "engine/InstallJournal.h"
#include "engine/StagedCheck.h"
#include "engine/StagingNames.h"
#include "platform/Files.h"
#include "util/Errors.h"
#include "util/allfunct.h"

namespace {

// The companion's lines; a missing companion is reported like any file that
// cannot be opened.
TStringList CompanionLines(const std::string& programFolder, const std::string& companionName,
                           const std::string& bare) {
  if (companionName.empty())
    RaiseOpenError(programFolder + bare + engine::kCompanionInfix + "*", ENOENT);
  return engine::ReadCompanionLines(programFolder + companionName);
}

// True when the folder holds the program file, a path below it as the
// catalogue writes it.
bool HoldsProgramFile(const std::string& folder, const std::string& programFile) {
  return platform::FileExists(AppendBackslash(folder) + LocalRelativePath(programFile));
}

bool InstalledSomewhere(const TUpdaterContext& context, const std::string& programFile) {
  const int folderCount = context.DirList ? context.DirList->Count() : 0;
  for (int index = 0; index < folderCount; ++index)
    if (HoldsProgramFile((*context.DirList)[index], programFile)) return true;
  return false;
}

// The program file that the staged file's companion names; false when there
// is no companion of four readable lines, which the installation reports.
bool ProgramFileOfStaged(const std::string& programFolder, const std::string& bare,
                         std::string& programFile) {
  const std::string companionName = engine::FindCompanion(programFolder, bare);
  if (companionName.empty()) return false;
  try {
    const TStringList lines = engine::ReadCompanionLines(programFolder + companionName);
    if (lines.Count() <= engine::kCompanionProgramLine) return false;
    programFile = lines[engine::kCompanionProgramLine];
  } catch (const Exception&) {
    return false;
  }
  return true;
}

engine::TCompanion CompanionOf(const TStringList& lines) {
  return {lines[engine::kCompanionModuleLine], lines[engine::kCompanionKeyLine],
          lines[engine::kCompanionVersionLine], lines[engine::kCompanionProgramLine]};
}

}  // namespace

bool InstallStagedFile(TUpdaterContext& context, const std::string& stagedName) {
  const std::string& programFolder = context.ProgramFolder;
  const std::string bare = engine::BareNameOfStaged(stagedName);
  const std::string companionName = engine::FindCompanion(programFolder, bare);
  const TStringList lines = CompanionLines(programFolder, companionName, bare);
  // Checked again before anything moves: whatever happened to the file
  // since it was staged, only what was checked then is installed.  One that
  // cannot be read now stays for a later attempt, like a file in use.
  const engine::TStagedCheck check = engine::CheckStagedFile(context, stagedName, lines);
  context.SealedStagedFiles.erase(stagedName);  // the file goes, or is read again next time
  switch (check) {
    case engine::TStagedCheck::kFails:
      engine::DiscardStagedFile(context, stagedName);
      return true;
    case engine::TStagedCheck::kUnreadable:
      return false;
    case engine::TStagedCheck::kPasses:
      break;
  }
  bool result = true;
  const int folderCount = context.DirList ? context.DirList->Count() : 0;
  for (int index = 0; index < folderCount; ++index) {
    const std::string folder = AppendBackslash((*context.DirList)[index]);
    // Reading the program file line is where a short companion is noticed.
    if (!HoldsProgramFile(folder, lines[engine::kCompanionProgramLine])) continue;
    const engine::TFolderInstall install{programFolder, stagedName, companionName, folder,
                                         CompanionOf(lines)};
    if (engine::InstallIntoFolder(install)) {
      // Companions of this name that an earlier run left are stale now.
      engine::RemoveCompanions(programFolder, bare);
      return result;
    }
    result = false;
  }
  return result;
}

bool InstallStagedFiles(TUpdaterContext& context) {
  engine::RecoverInterruptedInstall(context.ProgramFolder);
  std::vector<platform::FolderEntry> entries;
  // A program folder that cannot be listed may hold staged files all the same.
  bool result = platform::ListFolder(context.ProgramFolder, engine::kStagedPattern, entries);
  for (const auto& entry : entries) {
    // Each staged file is taken once; one that has gone meanwhile is skipped.
    // One that cannot be looked at raises: it is not known to be gone.
    if (entry.isFolder || !platform::FileExistsExactOrRaise(context.ProgramFolder + entry.name))
      continue;
    if (!InstallStagedFile(context, entry.name)) result = false;
  }
  // An installation that could not be finished (its old copy still aside, its
  // journal not removed) is not done either; the next start finishes it.
  if (!engine::RecoverInterruptedInstall(context.ProgramFolder)) result = false;
  return result;
}

void DiscardOrphanedStagedFiles(TUpdaterContext& context) {
  const std::string& programFolder = context.ProgramFolder;
  // An installation still waiting to be recovered may need its staged file.
  if (engine::InstallJournalExists(programFolder)) return;
  std::vector<platform::FolderEntry> entries;
  platform::ListFolder(programFolder, engine::kStagedPattern, entries);
  for (const auto& entry : entries) {
    const std::string bare = engine::BareNameOfStaged(entry.name);
    std::string programFile;
    if (entry.isFolder || !ProgramFileOfStaged(programFolder, bare, programFile) ||
        InstalledSomewhere(context, programFile))
      continue;
    // The staged file goes first: a companion left alone is harmless (it is
    // removed when the name is staged again), a staged file without one is
    // not, so the companions stay with a staged file that could not go.
    if (!platform::DeleteFileExact(programFolder + entry.name) ||
        !platform::SyncFolder(programFolder))
      continue;
    engine::RemoveCompanions(programFolder, bare);
  }
}
