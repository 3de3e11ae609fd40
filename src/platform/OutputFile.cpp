#include "platform/OutputFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/FileCalls.h"
#include "platform/Files.h"
#include "platform/Errors.h"

namespace platform {

TOutputFile::~TOutputFile() {
  if (FHandle >= 0) ::close(FHandle);
}

namespace {

// Write-back is started for each stretch of this size once it is written,
// and waited for one stretch later.
constexpr int64_t kWriteBehindStretch = int64_t{8} << 20;

}  // namespace

void TOutputFile::Create(const std::string& path) {
  Close();
  FGivenPath = path;
  FHandle = OpenForReplacing(path, FPath);
  FWritten = FFlushedUpTo = FSettledUpTo = 0;
  FWriteBackError = 0;
}

void TOutputFile::Write(const void* data, size_t size) {
  if (FWriteBackError != 0) Fail(FWriteBackError);
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = calls::Write(FHandle, bytes, size, FPath);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) Fail(written < 0 ? errno : ENOSPC);
    bytes += written;
    size -= static_cast<size_t>(written);
    FWritten += written;
  }
  if (FWriteBackError == 0 && FWriteBehind && FWritten - FFlushedUpTo >= kWriteBehindStretch)
    FlushBehind();
}

// Starts writing back the stretch just written, then waits for the one
// before it.  A write-back error is reported to this call only: a later
// fsync of the file would return 0 although the data on disk is not what
// was written.  So it is kept, and the next write or the flush raises it.
void TOutputFile::FlushBehind() {
  if (calls::WriteBack(FHandle, FFlushedUpTo, FWritten - FFlushedUpTo, SYNC_FILE_RANGE_WRITE,
                       FPath) != 0) {
    FWriteBackError = errno;
    return;
  }
  if (FFlushedUpTo > FSettledUpTo) {
    if (calls::WriteBack(
            FHandle, FSettledUpTo, FFlushedUpTo - FSettledUpTo,
            SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER,
            FPath) != 0) {
      FWriteBackError = errno;
      return;
    }
    FSettledUpTo = FFlushedUpTo;
  }
  FFlushedUpTo = FWritten;
}

void TOutputFile::Sync() {
  if (FWriteBackError != 0) Fail(FWriteBackError);
  if (calls::Sync(FHandle, FPath) != 0) Fail(errno);
}

void TOutputFile::Close() {
  if (FHandle < 0) return;
  const int handle = FHandle;
  FHandle = -1;
  // A delayed write error may surface only now.
  if (calls::Close(handle, FPath) != 0 && errno != EINTR) RaiseCreateError(FGivenPath, errno);
}

void TOutputFile::Fail(int error) { RaiseCreateError(FGivenPath, error); }

}  // namespace platform
