#include "platform/RunLock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/FileCalls.h"
#include "platform/SharedFolder.h"

namespace platform {
namespace {

constexpr int kOpenFlags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// Opens the lock file, making it when it is missing: readable and writable
// by its owner, and by the group where the folder is shared with one.  The
// mask cannot widen that, and the mode is set outright, since the mask
// could have taken the group's bits.  -1 with errno on failure.
int OpenOrMake(const std::string& folder, const std::string& path) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int fd = calls::Open(path, kOpenFlags);
    if (fd >= 0 || errno != ENOENT) return fd;
    const mode_t mode = SharedWithGroup(folder) ? 0660 : 0600;
    const int made = calls::Open(path, kOpenFlags | O_CREAT | O_EXCL, mode);
    if (made >= 0) {
      if (calls::ChangeMode(made, mode, path) == 0) return made;
      const int error = errno;
      ::close(made);
      errno = error;
      return -1;
    }
    if (errno != EEXIST) return -1;  // else made meanwhile by another run: open that
  }
  return -1;
}

// Only a regular file is a lock file, and one that others may open is made
// private again where we may: whoever could open it could hold the lock.
bool UsableLockFile(int fd, const std::string& path) {
  struct stat info;
  if (calls::StatOpen(fd, info, path) != 0) return false;
  if (!S_ISREG(info.st_mode)) {
    errno = EINVAL;
    return false;
  }
  const mode_t mode = info.st_mode & 07777;
  const bool ours = info.st_uid == ::geteuid() || ::geteuid() == 0;
  if ((mode & S_IRWXO) != 0 && ours) return calls::ChangeMode(fd, mode & ~S_IRWXO, path) == 0;
  return true;
}

}  // namespace

bool TRunLock::Take(const std::string& folder) {
  if (FLock.Held()) return true;
  const std::string path = folder + kRunLockFileName;
  const int fd = OpenOrMake(folder, path);
  if (fd < 0) return false;
  if (!UsableLockFile(fd, path)) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return false;
  }
  return FLock.Hold(fd, path);
}

}  // namespace platform
