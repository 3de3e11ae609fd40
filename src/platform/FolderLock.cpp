#include "platform/FolderLock.h"

#include <fcntl.h>

#include "platform/FileCalls.h"

namespace platform {

// The folder is opened anew, so that the lock is this installation's own
// and meets every other holder (HeldLock.h).
bool TFolderLock::Take(const TContainedFolder& folder) {
  if (FLock.Held()) return true;
  const int fd =
      calls::OpenAt(folder.Handle(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, folder.Shown());
  return fd >= 0 && FLock.Hold(fd, folder.Shown());
}

}  // namespace platform
