#include "platform/FileBlocks.h"

#include <memory>

#include "platform/FileCalls.h"

namespace platform {

namespace {

// Closes the descriptor on every way out, keeping the errno of the failure
// that ended the read.
struct TOpenFile {
  int fd;
  const std::string& path;
  ~TOpenFile() {
    const int error = errno;
    calls::Close(fd, path);
    errno = error;
  }
};

}  // namespace

bool ReadFileBlocks(const std::string& path,
                    const std::function<void(const char* data, size_t size)>& consume,
                    bool followLink) {
  // Not blocking: a FIFO planted under the name must not hold the caller.
  const int fd =
      calls::Open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | (followLink ? 0 : O_NOFOLLOW));
  if (fd < 0) return false;
  const TOpenFile file{fd, path};
  struct stat info;
  if (calls::StatOpen(fd, info, path) != 0) return false;
  if (!S_ISREG(info.st_mode)) {
    errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    return false;
  }
  const auto block = std::make_unique<char[]>(kFileBlockSize);
  for (;;) {
    const ssize_t got = calls::Read(fd, block.get(), kFileBlockSize, path);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    consume(block.get(), static_cast<size_t>(got));
  }
}

}  // namespace platform
