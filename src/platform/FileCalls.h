#pragma once
// The file system calls of the platform layer, each passing the file seam
// (FileSeam.h) first: the same arguments and results as the system call,
// plus the path for the seam where the call takes a descriptor.  Only the
// platform layer includes this.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/FileSeam.h"

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace platform::calls {

inline int Open(const std::string& path, int flags, mode_t mode = 0) {
  const bool writes = (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) != 0;
  if (!PassFileOperation(writes ? TFileOp::Create : TFileOp::OpenToRead, path)) return -1;
  return ::open(path.c_str(), flags, mode);
}

inline ssize_t Write(int fd, const void* data, size_t size, const std::string& path) {
  return PassFileOperation(TFileOp::Write, path) ? ::write(fd, data, size) : -1;
}

inline ssize_t Read(int fd, void* data, size_t size, const std::string& path) {
  return PassFileOperation(TFileOp::Read, path) ? ::read(fd, data, size) : -1;
}

inline int Sync(int fd, const std::string& path) {
  return PassFileOperation(TFileOp::Sync, path) ? ::fsync(fd) : -1;
}

// A close that fails still frees the descriptor, as close() always does.
inline int Close(int fd, const std::string& path) {
  if (PassFileOperation(TFileOp::Close, path)) return ::close(fd);
  const int error = errno;
  ::close(fd);
  errno = error;
  return -1;
}

inline int Rename(const std::string& from, const std::string& to) {
  return PassFileOperation(TFileOp::Rename, from, to) ? ::rename(from.c_str(), to.c_str()) : -1;
}

inline int RenameNoReplace(const std::string& from, const std::string& to) {
  if (!PassFileOperation(TFileOp::Rename, from, to)) return -1;
  return static_cast<int>(
      ::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE));
}

inline int Link(const std::string& from, const std::string& to) {
  return PassFileOperation(TFileOp::Link, from, to) ? ::link(from.c_str(), to.c_str()) : -1;
}

inline int Unlink(const std::string& path) {
  return PassFileOperation(TFileOp::Unlink, path) ? ::unlink(path.c_str()) : -1;
}

inline int ChangeMode(int fd, mode_t mode, const std::string& path) {
  return PassFileOperation(TFileOp::ChangeMode, path) ? ::fchmod(fd, mode) : -1;
}

inline int ChangeOwner(int fd, uid_t owner, gid_t group, const std::string& path) {
  return PassFileOperation(TFileOp::ChangeOwner, path) ? ::fchown(fd, owner, group) : -1;
}

// Opens a folder to list it with getdents; -1 with errno on failure.
inline int OpenFolder(const std::string& folder) {
  const std::string& path = folder.empty() ? std::string(".") : folder;
  if (!PassFileOperation(TFileOp::ListFolder, path)) return -1;
  return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

inline DIR* OpenFolderStream(const std::string& folder) {
  const std::string& path = folder.empty() ? std::string(".") : folder;
  return PassFileOperation(TFileOp::ListFolder, path) ? ::opendir(path.c_str()) : nullptr;
}

// Opens `name` in the folder open as `folder` (or AT_FDCWD); `path` is
// the place it names, for the seam.
inline int OpenAt(int folder, const std::string& name, int flags, const std::string& path) {
  if (!PassFileOperation(TFileOp::OpenToRead, path)) return -1;
  return ::openat(folder, name.c_str(), flags);
}

// Reads the text of the symbolic link open (O_PATH | O_NOFOLLOW) as `link`.
inline ssize_t ReadLinkAt(int link, char* buffer, size_t size, const std::string& path) {
  if (!PassFileOperation(TFileOp::Read, path)) return -1;
  return ::readlinkat(link, "", buffer, size);
}

}  // namespace platform::calls
