#include "platform/FileOwnership.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/FileCalls.h"
#include "platform/FileCopy.h"
#include "platform/FolderSync.h"
#include "platform/PathParts.h"
#include "platform/UnfinishedWrite.h"

namespace platform {

bool CopyOwnerAndMode(const std::string& from, const std::string& to) {
  struct stat old;
  if (calls::StatEntry(from, old) != 0) return false;
  // Non-blocking, so a FIFO planted under the name cannot stall the open.
  const int fd = calls::Open(to, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat target;
  if (calls::StatOpen(fd, target, to) != 0 || !S_ISREG(target.st_mode)) {
    ::close(fd);
    return FailWith(ELOOP);
  }
  // A link says nothing of the file it stands for: the new file keeps the
  // owner and mode it was created with.  What was taken over is flushed, as
  // the file's data was: the file is about to be renamed into place, and
  // after a power cut it must not come back there with its old mode.
  const bool taken = S_ISLNK(old.st_mode) ||
                     (TakeOverOwnerAndMode(TOpenFile{fd, to}, old) && calls::Sync(fd, to) == 0);
  const int error = errno;
  ::close(fd);
  errno = error;
  return taken;
}

bool OwnedByAnotherUser(const std::string& path) {
  struct stat info;
  const uid_t us = ::geteuid();
  return us != 0 && calls::StatEntry(path, info) == 0 && info.st_uid != us;
}

bool ReplaceWithOwnCopy(const std::string& path) {
  std::string folder, name, copy;
  SplitFolderAndName(path, folder, name);
  for (int attempt = 0;; ++attempt) {
    copy = NewTempPathBeside(folder, name);
    if (CopyToNewFile(path, copy)) break;
    if (errno != EEXIST || attempt == 100) return false;
  }
  if (calls::Rename(copy, path) != 0) {
    const int error = errno;
    calls::Unlink(copy);
    return FailWith(error);
  }
  return SyncFolder(folder.empty() ? "." : folder);
}

}  // namespace platform
