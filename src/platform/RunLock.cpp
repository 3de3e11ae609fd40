#include "platform/RunLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/FileCalls.h"

namespace platform {

TRunLock::~TRunLock() {
  if (FHandle >= 0) ::close(FHandle);
}

bool TRunLock::Take(const std::string& folder) {
  if (FHandle >= 0) return true;
  const int fd = calls::Open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return true;
  if (calls::LockOpen(fd, LOCK_EX | LOCK_NB, folder) == 0) {
    FHandle = fd;
    return true;
  }
  const bool heldElsewhere = errno == EWOULDBLOCK;
  ::close(fd);
  return !heldElsewhere;
}

}  // namespace platform
