#include "engine/StartupHousekeeping.h"

#include <cerrno>
#include <vector>

#include "engine/FolderInstall.h"
#include "engine/FolderScan.h"
#include "engine/StagedCheck.h"
#include "engine/StagedInstall.h"
#include "engine/StagingNames.h"
#include "platform/Files.h"
#include "platform/RunLock.h"
#include "util/Errors.h"

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

// True when the program folder holds a staged file, or cannot be listed
// (then it may hold one).
bool StagedFilesMayBePending(const std::string& programFolder) {
  std::vector<platform::FolderEntry> entries;
  if (!platform::ListFolder(programFolder, engine::kStagedPattern, entries)) return true;
  for (const auto& entry : entries)
    if (!entry.isFolder) return true;
  return false;
}

// Installs what an earlier run staged; false when something could not be
// installed.  Without staged files, an interrupted installation that could
// not be finished at the first attempt gets a second one.
bool InstallPendingFiles(TUpdaterContext& context) {
  if (!StagedFilesMayBePending(context.ProgramFolder))
    return engine::RecoverInterruptedInstall(context.ProgramFolder);
  context.Window.ShowInformation(kPendingFilesText);
  return InstallStagedFiles(context);
}

}  // namespace

std::string RunLockFailureText(const std::string& programFolder, int error) {
  return "Cannot lock file \"" + programFolder + platform::kRunLockFileName + "\". " +
         PlatformReasonText(error);
}

void Timer1Timer(TUpdaterContext& context) {
  if (!context.RunLock.Take(context.ProgramFolder)) {
    const int error = errno;
    context.Window.ShowInformation(error == EWOULDBLOCK
                                       ? std::string(kAlreadyRunningText)
                                       : RunLockFailureText(context.ProgramFolder, error));
    context.Window.RequestTermination();
    return;
  }
  // An installation cut short is finished or undone first, before the scan,
  // which raises when a folder cannot be read: whatever fails later, the
  // installation folders are whole.  One that could not be finished, or
  // whose copy had to be taken out again, is a file that could not be
  // installed: the user hears of it as of one in use.
  const bool recovered = engine::RecoverInterruptedInstall(context.ProgramFolder);
  context.DirList = std::make_unique<TStringList>();
  ScanFolder(context, context.ProgramFolder);
  RemoveLeftovers(context.ProgramFolder);
  DiscardOrphanedStagedFiles(context);
  context.DiscardedStagedFiles.clear();
  const bool installed = InstallPendingFiles(context);
  // Staged files that failed their check again are gone; the user hears
  // which, and Next fetches them afresh.
  if (!context.DiscardedStagedFiles.empty())
    context.Window.ShowInformation(engine::FailedFilesText(context.DiscardedStagedFiles));
  context.DiscardedStagedFiles.clear();
  if (!installed || !recovered) {
    context.Window.ShowInformation(kFilesInUseText);
    context.Window.RequestTermination();
  }
  context.Window.SetStatusLine(kClickNextText);
}
