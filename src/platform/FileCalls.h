#pragma once
// The file system calls of the platform layer, each passing the file seam
// (FileSeam.h) first and telling it the result after: the same arguments
// and results as the system call, plus the path for the seam where the call
// takes a descriptor.  Only the platform layer includes this.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
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

// Hands the system call's result to the seam and passes it on.
template <class TResult>
TResult Finished(TResult result) {
  FinishFileOperation(result < 0 ? -errno : static_cast<int64_t>(result));
  return result;
}

// An open that may create or empty the file is a Create; one for writing
// that does neither is an OpenToWrite, which changes nothing on disk.
inline TFileOp OpenKind(int flags) {
  if ((flags & (O_CREAT | O_TRUNC)) != 0) return TFileOp::Create;
  return (flags & (O_WRONLY | O_RDWR)) != 0 ? TFileOp::OpenToWrite : TFileOp::OpenToRead;
}

inline int Open(const std::string& path, int flags, mode_t mode = 0) {
  TFileOpDetail detail;
  detail.Flags = flags;
  detail.Mode = mode;
  if (!PassFileOperation(OpenKind(flags), path, seam::kNoPath, detail)) return -1;
  return Finished(::open(path.c_str(), flags, mode));
}

inline ssize_t Write(int fd, const void* data, size_t size, const std::string& path) {
  TFileOpDetail detail;
  detail.Fd = fd;
  detail.Data = data;
  detail.Size = size;
  if (!PassFileOperation(TFileOp::Write, path, seam::kNoPath, detail)) return -1;
  return Finished(::write(fd, data, size));
}

inline TFileOpDetail OnDescriptor(int fd) {
  TFileOpDetail detail;
  detail.Fd = fd;
  return detail;
}

inline ssize_t Read(int fd, void* data, size_t size, const std::string& path) {
  if (!PassFileOperation(TFileOp::Read, path, seam::kNoPath, OnDescriptor(fd))) return -1;
  return Finished(::read(fd, data, size));
}

inline int Sync(int fd, const std::string& path) {
  if (!PassFileOperation(TFileOp::Sync, path, seam::kNoPath, OnDescriptor(fd))) return -1;
  return Finished(::fsync(fd));
}

// Write-back of a stretch of the file, started or waited for; `how` takes
// the SYNC_FILE_RANGE_* flags.
inline int WriteBack(int fd, off64_t offset, off64_t length, unsigned how,
                     const std::string& path) {
  if (!PassFileOperation(TFileOp::WriteBack, path, seam::kNoPath, OnDescriptor(fd))) return -1;
  return Finished(::sync_file_range(fd, offset, length, how));
}

// A close that fails still frees the descriptor, as close() always does.
inline int Close(int fd, const std::string& path) {
  if (PassFileOperation(TFileOp::Close, path, seam::kNoPath, OnDescriptor(fd)))
    return Finished(::close(fd));
  const int error = errno;
  ::close(fd);
  errno = error;
  return -1;
}

inline int Rename(const std::string& from, const std::string& to) {
  if (!PassFileOperation(TFileOp::Rename, from, to)) return -1;
  return Finished(::rename(from.c_str(), to.c_str()));
}

inline int RenameNoReplace(const std::string& from, const std::string& to) {
  TFileOpDetail detail;
  detail.Flags = RENAME_NOREPLACE;
  if (!PassFileOperation(TFileOp::Rename, from, to, detail)) return -1;
  return Finished(static_cast<int>(
      ::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE)));
}

inline int Link(const std::string& from, const std::string& to) {
  if (!PassFileOperation(TFileOp::Link, from, to)) return -1;
  return Finished(::link(from.c_str(), to.c_str()));
}

inline int Unlink(const std::string& path) {
  if (!PassFileOperation(TFileOp::Unlink, path)) return -1;
  return Finished(::unlink(path.c_str()));
}

inline int ChangeMode(int fd, mode_t mode, const std::string& path) {
  TFileOpDetail detail = OnDescriptor(fd);
  detail.Mode = mode;
  if (!PassFileOperation(TFileOp::ChangeMode, path, seam::kNoPath, detail)) return -1;
  return Finished(::fchmod(fd, mode));
}

inline int ChangeOwner(int fd, uid_t owner, gid_t group, const std::string& path) {
  if (!PassFileOperation(TFileOp::ChangeOwner, path, seam::kNoPath, OnDescriptor(fd))) return -1;
  return Finished(::fchown(fd, owner, group));
}

// stat(): follows a symbolic link.
inline int Stat(const std::string& path, struct stat& info) {
  if (!PassFileOperation(TFileOp::Inspect, path)) return -1;
  return Finished(::stat(path.c_str(), &info));
}

// lstat(): the entry itself, a symbolic link included.
inline int StatEntry(const std::string& path, struct stat& info) {
  if (!PassFileOperation(TFileOp::Inspect, path)) return -1;
  return Finished(::lstat(path.c_str(), &info));
}

inline int StatOpen(int fd, struct stat& info, const std::string& path) {
  if (!PassFileOperation(TFileOp::Inspect, path, seam::kNoPath, OnDescriptor(fd))) return -1;
  return Finished(::fstat(fd, &info));
}

// fstatat() of a name in an open folder; `path` is the whole path, for the seam.
inline int StatIn(int folderFd, const char* name, struct stat& info, int flags,
                  const std::string& path) {
  if (!PassFileOperation(TFileOp::Inspect, path)) return -1;
  return Finished(::fstatat(folderFd, name, &info, flags));
}

inline int Access(const std::string& path, int how) {
  if (!PassFileOperation(TFileOp::Inspect, path)) return -1;
  return Finished(::access(path.c_str(), how));
}

// flock() on an open file or folder.
inline int LockOpen(int fd, int how, const std::string& path) {
  if (!PassFileOperation(TFileOp::Lock, path, seam::kNoPath, OnDescriptor(fd))) return -1;
  return Finished(::flock(fd, how));
}

// A lease (F_SETLEASE) on an open file, or its release (F_UNLCK).
inline int Lease(int fd, int lease, const std::string& path) {
  if (!PassFileOperation(TFileOp::Lock, path, seam::kNoPath, OnDescriptor(fd))) return -1;
  return Finished(::fcntl(fd, F_SETLEASE, lease));
}

// Opens a folder to list it with getdents, or to flush or lock it; -1 with
// errno on failure.
inline int OpenFolder(const std::string& folder) {
  const std::string& path = folder.empty() ? std::string(".") : folder;
  if (!PassFileOperation(TFileOp::ListFolder, path)) return -1;
  return Finished(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

// A listing passes the seam once, at its opening; the entries are then read
// with readdir().
inline DIR* OpenFolderStream(const std::string& folder) {
  const std::string& path = folder.empty() ? std::string(".") : folder;
  if (!PassFileOperation(TFileOp::ListFolder, path)) return nullptr;
  DIR* dir = ::opendir(path.c_str());
  FinishFileOperation(dir == nullptr ? -errno : 0);
  return dir;
}

// openat() of a name in an open folder (or AT_FDCWD); `path` is the place it
// names, for the seam.
inline int OpenAt(int folder, const std::string& name, int flags, const std::string& path) {
  TFileOpDetail detail;
  detail.Flags = flags;
  if (!PassFileOperation(OpenKind(flags), path, seam::kNoPath, detail)) return -1;
  return Finished(::openat(folder, name.c_str(), flags));
}

// statx() of an open file or folder (an empty `name` with AT_EMPTY_PATH) or
// of a name in it; `path` is the place it names, for the seam.
inline int StatExtended(int folder, const char* name, int flags, unsigned mask, struct statx& info,
                        const std::string& path) {
  if (!PassFileOperation(TFileOp::Inspect, path)) return -1;
  return Finished(::statx(folder, name, flags, mask, &info));
}

// Reads the text of the symbolic link open (O_PATH | O_NOFOLLOW) as `link`.
inline ssize_t ReadLinkAt(int link, char* buffer, size_t size, const std::string& path) {
  if (!PassFileOperation(TFileOp::Inspect, path, seam::kNoPath, OnDescriptor(link))) return -1;
  return Finished(::readlinkat(link, "", buffer, size));
}

}  // namespace platform::calls
