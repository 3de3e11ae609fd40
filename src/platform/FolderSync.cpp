#include "platform/FolderSync.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/FileSeam.h"

namespace platform {

// One operation for the seam: the folder's opening and its flush.
bool SyncFolder(const std::string& folder) {
  const std::string path = folder.empty() ? std::string(".") : folder;
  if (!PassFileOperation(TFileOp::SyncFolder, path)) return false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const int result = fd < 0 ? -1 : ::fsync(fd);
  const int error = errno;
  if (fd >= 0) ::close(fd);
  FinishFileOperation(result < 0 ? -error : 0);
  errno = error;
  return result == 0;
}

}  // namespace platform
