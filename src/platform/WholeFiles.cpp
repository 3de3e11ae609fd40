#include "platform/WholeFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Errors.h"
#include "platform/FileCalls.h"
#include "platform/FileCopy.h"
#include "platform/FolderSync.h"
#include "platform/PathLookup.h"
#include "platform/PathParts.h"
#include "platform/SharedFolder.h"

namespace platform {
namespace {

// A file or folder with no write permission bit at all counts as read-only
// for everyone, also for a process that could bypass the bits (root): this
// is the read-only attribute of the updater's world.
bool IsMarkedReadOnly(const struct stat& info) { return (info.st_mode & 0222) == 0; }

// Creates the temporary file beside the target; the umask applies as for
// any new file.  Returns the descriptor or -1 with errno set.
int CreateTempBeside(const std::string& folder, const std::string& name, std::string& tempPath) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = NewTempPathBeside(folder, name);
    const int fd = calls::Open(tempPath, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// What a new file takes from its folder (SharedFolder.h) or, replacing a
// regular file, from the file it replaces.  A replaced link lends nothing.
bool TakeModeFrom(int fd, const std::string& tempPath, const std::string& folder, bool exists,
                  const struct stat& existing) {
  if (exists && S_ISREG(existing.st_mode))
    return TakeOverOwnerAndMode(TOpenFile{fd, tempPath}, existing);
  return ShareNewFileWithFolderGroup(fd, tempPath, folder);
}

// Checks that the entry under the name may be replaced; errno tells why
// not.  `existing` describes the entry itself: a symbolic link is replaced
// (or refused) as a name, never written through, so in a folder that others
// may write to a link cannot send a write to a file elsewhere.
bool MayReplace(const std::string& folder, const std::string& target, struct stat& existing,
                bool& exists) {
  struct stat folderInfo;
  if (calls::Stat(folder.empty() ? "." : folder, folderInfo) != 0) return false;
  if (!S_ISDIR(folderInfo.st_mode)) return FailWith(ENOTDIR);
  if (IsMarkedReadOnly(folderInfo)) return FailWith(EACCES);
  exists = calls::StatEntry(target, existing) == 0;
  if (!exists) return errno == ENOENT;
  if (S_ISDIR(existing.st_mode)) return FailWith(EISDIR);
  if (S_ISLNK(existing.st_mode)) return true;
  if (IsMarkedReadOnly(existing) || calls::Access(target, W_OK) != 0) return FailWith(EACCES);
  return true;
}

}  // namespace

void WriteWholeFile(const std::string& path, const void* data, size_t size) {
  const std::string target = ResolvePath(path);
  std::string folder, name;
  SplitFolderAndName(target, folder, name);
  struct stat existing;
  bool exists = false;
  if (name.empty() || !MayReplace(folder, target, existing, exists))
    RaiseCreateError(path, name.empty() ? EISDIR : errno);
  std::string tempPath;
  const int fd = CreateTempBeside(folder, name, tempPath);
  if (fd < 0) RaiseCreateError(path, errno);
  // A replaced file keeps its permissions and, where allowed, its owner: a
  // private file must not come back readable by everyone.
  errno = 0;
  bool ok = TakeModeFrom(fd, tempPath, folder, exists, existing) &&
            WriteAll(fd, static_cast<const char*>(data), size, tempPath) &&
            calls::Sync(fd, tempPath) == 0;
  int error = errno;
  if (calls::Close(fd, tempPath) != 0 && ok) ok = false, error = errno;
  if (ok && calls::Rename(tempPath, target) != 0) ok = false, error = errno;
  if (!ok) {
    calls::Unlink(tempPath);
    RaiseCreateError(path, error ? error : EIO);
  }
  // Until its folder is flushed, a power cut may still bring back the old
  // file: the write is not done.
  if (!SyncFolder(folder.empty() ? "." : folder)) RaiseCreateError(path, errno);
}

int OpenForReplacing(const std::string& path, std::string& opened) {
  opened = ResolvePath(path);
  std::string folder, name;
  SplitFolderAndName(opened, folder, name);
  struct stat existing;
  bool exists = false;
  if (name.empty() || !MayReplace(folder, opened, existing, exists))
    RaiseCreateError(path, name.empty() ? EISDIR : errno);
  // A link under the name fails (ELOOP) rather than empty the file it
  // points at; a FIFO fails rather than stall the open.
  const int fd = calls::Open(
      opened, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) RaiseCreateError(path, errno);
  if (!exists && !ShareNewFileWithFolderGroup(fd, opened, folder)) {
    const int error = errno;
    ::close(fd);
    RaiseCreateError(path, error);
  }
  return fd;
}

std::string ReadWholeFile(const std::string& path) {
  const std::string resolved = ResolvePath(path);
  // Non-blocking, so a FIFO under the name cannot stall the open; it is
  // refused below with anything else that is no regular file (a device
  // could be endless).  A regular file is read as if it were blocking.
  const int fd = calls::Open(resolved, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) RaiseOpenError(path, errno);
  struct stat info {};
  const bool seen = calls::StatOpen(fd, info, resolved) == 0;
  if (!seen || !S_ISREG(info.st_mode)) {
    const int error = !seen ? errno : S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    ::close(fd);
    RaiseOpenError(path, error);
  }
  std::string content;
  if (info.st_size > 0) content.reserve(static_cast<size_t>(info.st_size));
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t got = calls::Read(fd, buffer, sizeof buffer, resolved);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int error = errno;
      ::close(fd);
      RaiseOpenError(path, error);
    }
    if (got == 0) break;
    content.append(buffer, static_cast<size_t>(got));
  }
  ::close(fd);
  return content;
}

}  // namespace platform
