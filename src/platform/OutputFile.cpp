#include "platform/OutputFile.h"

#include <unistd.h>

#include <cerrno>

#include "platform/Files.h"
#include "util/Errors.h"

namespace platform {

TOutputFile::~TOutputFile() {
  if (FHandle >= 0) ::close(FHandle);
}

void TOutputFile::Create(const std::string& path) {
  Close();
  FGivenPath = path;
  FHandle = OpenForReplacing(path, FPath);
}

void TOutputFile::Write(const void* data, size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = ::write(FHandle, bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) Fail(written < 0 ? errno : ENOSPC);
    bytes += written;
    size -= static_cast<size_t>(written);
  }
}

void TOutputFile::Truncate(int64_t size) {
  if (::ftruncate(FHandle, static_cast<off_t>(size)) != 0) Fail(errno);
}

void TOutputFile::Sync() {
  if (::fsync(FHandle) != 0) Fail(errno);
}

void TOutputFile::Close() {
  if (FHandle < 0) return;
  const int handle = FHandle;
  FHandle = -1;
  // A delayed write error may surface only now.
  if (::close(handle) != 0 && errno != EINTR) RaiseCreateError(FGivenPath, errno);
}

void TOutputFile::Fail(int error) { RaiseCreateError(FGivenPath, error); }

}  // namespace platform
