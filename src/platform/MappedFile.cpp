#include "platform/MappedFile.h"

#include <sys/mman.h>

#include "platform/FileCalls.h"
#include "platform/Files.h"
#include "util/Errors.h"

namespace platform {

TMappedFile::~TMappedFile() { Close(); }

void TMappedFile::Open(const std::string& path) { Map(ResolvePath(path), path, 0); }

void TMappedFile::OpenExact(const std::string& path) { Map(path, path, O_NOFOLLOW); }

void TMappedFile::Map(const std::string& path, const std::string& shown, int flags) {
  Close();
  // Not blocking: a FIFO under the name must not stall the open.
  const int fd = calls::Open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | flags);
  if (fd < 0) RaiseOpenError(shown, errno);
  struct stat info;
  int error = calls::StatOpen(fd, info, path) == 0 ? 0 : errno;
  if (error == 0 && !S_ISREG(info.st_mode)) error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
  if (error != 0) {
    calls::Close(fd, path);
    RaiseOpenError(shown, error);
  }
  const size_t size = static_cast<size_t>(info.st_size);
  void* mapping = size == 0 ? nullptr : ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  const int mapError = errno;
  calls::Close(fd, path);  // the mapping keeps the file
  if (mapping == MAP_FAILED) RaiseOpenError(shown, mapError);
  FMapping = mapping;
  FData = static_cast<const uint8_t*>(mapping);
  FSize = size;
}

void TMappedFile::Close() {
  if (FMapping != nullptr) ::munmap(FMapping, FSize);
  FMapping = nullptr;
  FData = nullptr;
  FSize = 0;
}

}  // namespace platform
