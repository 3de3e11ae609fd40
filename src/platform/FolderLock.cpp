#include "platform/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/FileCalls.h"

namespace platform {

TFolderLock::~TFolderLock() {
  if (FHandle >= 0) ::close(FHandle);
}

// A flock belongs to an open file description: the folder is opened anew,
// so that the lock meets every other holder, in this process too.
bool TFolderLock::Take(const TContainedFolder& folder) {
  if (FHandle >= 0) return true;
  const int fd =
      calls::OpenAt(folder.Handle(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, folder.Shown());
  if (fd < 0) return false;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return false;
  }
  FHandle = fd;
  return true;
}

}  // namespace platform
