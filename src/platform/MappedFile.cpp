#include "platform/MappedFile.h"

#include <sys/mman.h>

#include <vector>

#include "platform/FileCalls.h"
#include "platform/FileCopy.h"
#include "platform/Files.h"
#include "util/Errors.h"

namespace platform {

TMappedFile::~TMappedFile() { Close(); }

void TMappedFile::Open(const std::string& path) { Map(ResolvePath(path), path, 0); }

void TMappedFile::OpenExact(const std::string& path) { Map(path, path, O_NOFOLLOW); }

namespace {

// Opens the regular file at `path` for reading; its size in `size`.
int OpenRegular(const std::string& path, const std::string& shown, int flags, size_t& size) {
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
  size = static_cast<size_t>(info.st_size);
  return fd;
}

// Copies `size` bytes of `from` into `to`; 0, or the error number (EAGAIN
// when `from` ends early or goes on past `size`: it changed meanwhile).
int CopyExactly(int from, int to, size_t size, const std::string& path,
                const std::function<void(std::span<const uint8_t>)>& eachBlock) {
  constexpr size_t kBlock = size_t{1} << 20;
  std::vector<char> block(kBlock);
  for (size_t copied = 0; copied <= size;) {
    const ssize_t got = calls::Read(from, block.data(), kBlock, path);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno;
    if (got == 0) return copied == size ? 0 : EAGAIN;
    copied += static_cast<size_t>(got);
    if (copied > size) return EAGAIN;
    if (!WriteAll(to, block.data(), static_cast<size_t>(got), path)) return errno;
    if (eachBlock)
      eachBlock({reinterpret_cast<const uint8_t*>(block.data()), static_cast<size_t>(got)});
  }
  return 0;
}

}  // namespace

void TMappedFile::Map(const std::string& path, const std::string& shown, int flags) {
  Close();
  size_t size = 0;
  const int fd = OpenRegular(path, shown, flags, size);
  MapDescriptor(fd, size, path, shown);
}

void TMappedFile::OpenPrivateCopy(const std::string& path, const std::string& scratchFolder,
                                  const std::function<void(std::span<const uint8_t>)>& eachBlock) {
  Close();
  size_t size = 0;
  const int original = OpenRegular(path, path, O_NOFOLLOW, size);
  const int copy = calls::Open(scratchFolder, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  int error = copy < 0 ? errno : CopyExactly(original, copy, size, path, eachBlock);
  calls::Close(original, path);
  if (error != 0) {
    if (copy >= 0) calls::Close(copy, scratchFolder);
    RaiseOpenError(path, error);
  }
  MapDescriptor(copy, size, scratchFolder, path);
}

// Maps the open file whole and closes the descriptor (the mapping keeps the
// file).
void TMappedFile::MapDescriptor(int fd, size_t size, const std::string& path,
                                const std::string& shown) {
  void* mapping = size == 0 ? nullptr : ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  const int mapError = errno;
  calls::Close(fd, path);
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
