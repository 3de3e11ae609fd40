#include "platform/FileMoves.h"

#include <cerrno>

#include "platform/FileCalls.h"
#include "platform/FileCopy.h"
#include "platform/FolderSync.h"
#include "platform/PathLookup.h"
#include "platform/PathParts.h"

namespace platform {
namespace {

// Flushes the folder that holds the path.
bool SyncFolderOf(const std::string& path) {
  std::string folder, name;
  SplitFolderAndName(path, folder, name);
  return SyncFolder(folder.empty() ? "." : folder);
}

// Ends a move whose target is already in place by removing the source.  The
// target's folder is flushed first, so that a power cut never finds the
// source gone and the target not yet there.  When either fails the target
// is taken back, so a move either happens or not.
bool RemoveSourceOrTakeBack(const std::string& from, const std::string& to) {
  if (SyncFolderOf(to) && calls::Unlink(from) == 0) return true;
  const int error = errno;
  calls::Unlink(to);
  return FailWith(error);
}

// Across file systems: copy and flush it, flush the target's folder, then
// remove the source.
bool MoveAcrossFileSystems(const std::string& from, const std::string& to) {
  return CopyToNewFile(from, to) && RemoveSourceOrTakeBack(from, to);
}

// For file systems without the no-replace rename: a hard link fails just as
// surely on an existing target.
bool MoveByLink(const std::string& from, const std::string& to) {
  return calls::Link(from, to) == 0 && RemoveSourceOrTakeBack(from, to);
}

bool MoveResolved(const std::string& from, const std::string& to) {
  if (calls::RenameNoReplace(from, to) == 0) return true;
  if (errno == EXDEV) return MoveAcrossFileSystems(from, to);
  if (errno != EINVAL && errno != ENOSYS) return false;
  if (MoveByLink(from, to)) return true;
  if (errno == EPERM || errno == EXDEV) return MoveAcrossFileSystems(from, to);
  return false;
}

// The target's folder, then the source's when it is another.
bool SyncBothFolders(const std::string& from, const std::string& to) {
  std::string targetFolder, targetName, sourceFolder, sourceName;
  SplitFolderAndName(to, targetFolder, targetName);
  SplitFolderAndName(from, sourceFolder, sourceName);
  if (!SyncFolder(targetFolder.empty() ? "." : targetFolder)) return false;
  return sourceFolder == targetFolder || SyncFolder(sourceFolder.empty() ? "." : sourceFolder);
}

}  // namespace

bool DeleteFile(const std::string& path) { return DeleteFileExact(ResolvePath(path)); }

bool MoveFileNoReplace(const std::string& from, const std::string& to) {
  const std::string target = ResolvePath(to);
  // A target differing only in case is the same name to the updater.
  if (EntryExistsExact(target)) return FailWith(EEXIST);
  return MoveFileNoReplaceExact(ResolvePath(from), target);
}

bool DeleteFileExact(const std::string& path) { return calls::Unlink(path) == 0; }

// A move is relied on once it returns, so it is on disk by then: both
// folders are flushed.  When that fails, the move is taken back; the flush
// after taking it back is all that can still be tried, and the caller
// already hears of the failure.
bool MoveFileNoReplaceExact(const std::string& from, const std::string& to) {
  if (!MoveResolved(from, to)) return false;
  if (SyncBothFolders(from, to)) return true;
  const int error = errno;
  if (MoveResolved(to, from)) (void)SyncBothFolders(to, from);
  return FailWith(error);
}

}  // namespace platform
