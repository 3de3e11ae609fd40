#include "platform/SealedFile.h"

#include <utility>

#include "platform/FileCalls.h"

namespace platform {

namespace {

bool OnlyOursToWrite(const struct stat& info) {
  return S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
         (info.st_mode & (S_IWGRP | S_IWOTH)) == 0 && info.st_nlink == 1;
}

}  // namespace

TSealedFile::~TSealedFile() {
  if (FHandle >= 0) calls::Close(FHandle, FPath);
}

TSealedFile::TSealedFile(TSealedFile&& other) noexcept
    : FHandle(std::exchange(other.FHandle, -1)), FPath(std::move(other.FPath)) {}

TSealedFile& TSealedFile::operator=(TSealedFile&& other) noexcept {
  std::swap(FHandle, other.FHandle);
  std::swap(FPath, other.FPath);
  return *this;
}

bool TSealedFile::Seal(const std::string& path) {
  *this = TSealedFile();
  // Not blocking: a FIFO put under the name must not stall the open.
  const int fd = calls::Open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  if (calls::StatOpen(fd, info, path) != 0 || !OnlyOursToWrite(info)) {
    calls::Close(fd, path);
    return false;
  }
  FHandle = fd;
  FPath = path;
  return true;
}

bool TSealedFile::StillAt(const std::string& path, int64_t size) const {
  if (FHandle < 0) return false;
  struct stat held, named;
  if (calls::StatOpen(FHandle, held, path) != 0 || calls::StatEntry(path, named) != 0) return false;
  return OnlyOursToWrite(held) && held.st_dev == named.st_dev && held.st_ino == named.st_ino &&
         held.st_size == size && named.st_size == size;
}

}  // namespace platform
