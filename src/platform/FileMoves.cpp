#include "platform/FileMoves.h"

#include <cerrno>

#include "platform/FileCalls.h"
#include "platform/FileCopy.h"
#include "platform/FolderSync.h"
#include "platform/PathLookup.h"
#include "platform/PathParts.h"

namespace platform {
namespace {

// Ends a move whose target is already in place by removing the source.  When
// the source cannot be removed the target is taken back, so a move either
// happens or not.
bool RemoveSourceOrTakeBack(const std::string& from, const std::string& to) {
  if (calls::Unlink(from) == 0) return true;
  const int error = errno;
  calls::Unlink(to);
  return FailWith(error);
}

// Across file systems: copy, flush, then remove the source.
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

}  // namespace

bool DeleteFile(const std::string& path) { return DeleteFileExact(ResolvePath(path)); }

bool MoveFileNoReplace(const std::string& from, const std::string& to) {
  const std::string target = ResolvePath(to);
  // A target differing only in case is the same name to the updater.
  if (EntryExistsExact(target)) return FailWith(EEXIST);
  return MoveFileNoReplaceExact(ResolvePath(from), target);
}

bool DeleteFileExact(const std::string& path) { return calls::Unlink(path) == 0; }

bool MoveFileNoReplaceExact(const std::string& from, const std::string& to) {
  if (!MoveResolved(from, to)) return false;
  std::string targetFolder, targetName, sourceFolder, sourceName;
  SplitFolderAndName(to, targetFolder, targetName);
  SplitFolderAndName(from, sourceFolder, sourceName);
  SyncFolder(targetFolder.empty() ? "." : targetFolder);
  if (sourceFolder != targetFolder) SyncFolder(sourceFolder.empty() ? "." : sourceFolder);
  return true;
}

}  // namespace platform
