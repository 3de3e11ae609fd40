#include "platform/FolderSync.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/FileSeam.h"

namespace platform {

void SyncFolder(const std::string& folder) {
  if (!PassFileOperation(TFileOp::SyncFolder, folder)) return;
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace platform
