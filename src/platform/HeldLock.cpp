#include "platform/HeldLock.h"

#include <unistd.h>

#include <cerrno>

#include "platform/FileCalls.h"

namespace platform {

THeldLock::~THeldLock() {
  if (FHandle >= 0) ::close(FHandle);
}

bool THeldLock::Hold(int fd, const std::string& path) {
  if (calls::LockOpen(fd, LOCK_EX | LOCK_NB, path) != 0) {
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
