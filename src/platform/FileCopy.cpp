#include "platform/FileCopy.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/FileCalls.h"
#include "platform/PathParts.h"

namespace platform {
namespace {

int ChangeOwner(TOpenFile file, uid_t owner, gid_t group) {
  return calls::ChangeOwner(file.fd, owner, group, file.path);
}
int ChangeMode(TOpenFile file, mode_t mode) { return calls::ChangeMode(file.fd, mode, file.path); }
int StatOf(TOpenFile file, struct stat& info) { return calls::StatOpen(file.fd, info, file.path); }

}  // namespace

bool WriteAll(int fd, const char* data, size_t size, const std::string& path) {
  while (size > 0) {
    const ssize_t written = calls::Write(fd, data, size, path);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

bool TakeOverOwnerAndMode(TOpenFile file, const struct stat& from) {
  if (ChangeOwner(file, from.st_uid, from.st_gid) != 0)
    (void)ChangeOwner(file, static_cast<uid_t>(-1), from.st_gid);
  struct stat now;
  if (StatOf(file, now) != 0) return false;
  mode_t mode = from.st_mode & 07777;
  if (now.st_uid != from.st_uid) mode &= ~static_cast<mode_t>(S_ISUID);
  if (now.st_gid != from.st_gid) mode &= ~static_cast<mode_t>(S_ISGID);
  return ChangeMode(file, mode) == 0;
}

bool CopyToNewFile(const std::string& from, const std::string& to) {
  const int source = calls::Open(from, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (source < 0) return false;
  struct stat info;
  const bool regular = calls::StatOpen(source, info, from) == 0 && S_ISREG(info.st_mode);
  if (!regular) {
    ::close(source);
    return FailWith(EISDIR);
  }
  const int target = calls::Open(to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 07777);
  if (target < 0) {
    const int error = errno;
    ::close(source);
    errno = error;
    return false;
  }
  bool ok = TakeOverOwnerAndMode(TOpenFile{target, to}, info);
  char buffer[64 * 1024];
  for (; ok;) {
    const ssize_t got = calls::Read(source, buffer, sizeof buffer, from);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    if (!WriteAll(target, buffer, static_cast<size_t>(got), to)) {
      ok = false;
      break;
    }
  }
  ok = ok && calls::Sync(target, to) == 0;
  int error = errno;
  if (calls::Close(target, to) != 0 && ok) ok = false, error = errno;
  ::close(source);
  if (!ok) {
    calls::Unlink(to);
    errno = error ? error : EIO;
  }
  return ok;
}

}  // namespace platform
