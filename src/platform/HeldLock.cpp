#include "platform/HeldLock.h"

#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

THeldLock::~THeldLock() {
  if (FHandle >= 0) ::close(FHandle);
}

bool THeldLock::Hold(int fd) {
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return false;
  }
  if (FHandle >= 0) ::close(FHandle);
  FHandle = fd;
  return true;
}

}  // namespace platform
