#include "engine/StartupHousekeeping.h"

#include <vector>

#include "engine/FolderInstall.h"
#include "engine/FolderScan.h"
#include "engine/StagedInstall.h"
#include "engine/StagingNames.h"
#include "platform/Files.h"

namespace {

// Files of the program folder matching the pattern (any letter case).
std::vector<std::string> FilesMatching(const std::string& folder, const std::string& pattern) {
  std::vector<platform::FolderEntry> entries;
  std::vector<std::string> names;
  platform::ListFolder(folder, pattern, entries);
  for (const auto& entry : entries)
    if (!entry.isFolder) names.push_back(entry.name);
  return names;
}

// The catalogue copy and the partial downloads of the previous run, and the
// temporary files of writes that a crash interrupted (by their own marked
// names only: a user's hidden file is never one).  Entries that cannot be
// deleted stay where they are, without a message.
void RemoveLeftovers(const std::string& programFolder) {
  if (platform::FileExists(programFolder + "AllFiles.ini"))
    platform::DeleteFile(programFolder + "AllFiles.ini");
  for (const auto& name : FilesMatching(programFolder, engine::kPartialPattern))
    platform::DeleteFileExact(programFolder + name);
  for (const auto& name : FilesMatching(programFolder, ".*"))
    if (platform::IsUnfinishedWrite(name)) platform::DeleteFileExact(programFolder + name);
}

void InstallPendingFiles(TUpdaterContext& context) {
  if (FilesMatching(context.ProgramFolder, engine::kStagedPattern).empty()) return;
  context.Window.ShowInformation(kPendingFilesText);
  if (InstallStagedFiles(context)) return;
  context.Window.ShowInformation(kFilesInUseText);
  context.Window.RequestTermination();
}

}  // namespace

void Timer1Timer(TUpdaterContext& context) {
  if (!context.RunLock.Take(context.ProgramFolder)) {
    context.Window.ShowInformation(kAlreadyRunningText);
    context.Window.RequestTermination();
    return;
  }
  context.DirList = std::make_unique<TStringList>();
  ScanFolder(context, context.ProgramFolder);
  RemoveLeftovers(context.ProgramFolder);
  engine::RecoverInterruptedInstall(context.ProgramFolder);
  DiscardOrphanedStagedFiles(context);
  InstallPendingFiles(context);
  context.Window.SetStatusLine(kClickNextText);
}
