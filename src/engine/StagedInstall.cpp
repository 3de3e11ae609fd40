#include "engine/StagedInstall.h"

#include <cerrno>
#include <vector>

#include "engine/CompanionFile.h"
#include "engine/FolderInstall.h"
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
  bool result = true;
  const int folderCount = context.DirList ? context.DirList->Count() : 0;
  for (int index = 0; index < folderCount; ++index) {
    const std::string folder = AppendBackslash((*context.DirList)[index]);
    // Reading the program file line is where a short companion is noticed.
    if (!platform::FileExists(folder + lines[engine::kCompanionProgramLine])) continue;
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
  platform::ListFolder(context.ProgramFolder, engine::kStagedPattern, entries);
  bool result = true;
  for (const auto& entry : entries) {
    // Each staged file is taken once; one that has gone meanwhile is skipped.
    if (entry.isFolder || !platform::FileExistsExact(context.ProgramFolder + entry.name)) continue;
    if (!InstallStagedFile(context, entry.name)) result = false;
  }
  return result;
}
