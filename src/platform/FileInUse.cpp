#include "platform/FileInUse.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/FileCalls.h"
#include "platform/PathLookup.h"

namespace platform {
namespace {

enum class TLeaseAnswer { Granted, Refused, Unknown };

// EAGAIN: someone else has the file open.  Other errors (not the owner, a
// file system without leases) leave the question open.
TLeaseAnswer RefusalAnswer(int error) {
  return error == EAGAIN || error == EBUSY ? TLeaseAnswer::Refused : TLeaseAnswer::Unknown;
}

// A write lease is granted only while no other descriptor has the file open.
// The lease is released at once; nobody else ever has to wait for it.
TLeaseAnswer TryWriteLease(int fd, const std::string& path) {
  if (calls::Lease(fd, F_WRLCK, path) != 0) return RefusalAnswer(errno);
  calls::Lease(fd, F_UNLCK, path);
  return TLeaseAnswer::Granted;
}

// Whether this kernel counts read-only openers when it decides on a write
// lease.  Checked once on an anonymous memory file: with a second, read-only
// descriptor open on it, a write lease must be refused.  A memory file is no
// file on disk: this check does not pass the file seam.
bool LeaseSeesReaders() {
  static const bool sees = [] {
    const int own = ::memfd_create("quorvin-lease-check", MFD_CLOEXEC);
    if (own < 0) return false;
    const std::string alias = "/proc/self/fd/" + std::to_string(own);
    const int reader = ::open(alias.c_str(), O_RDONLY | O_CLOEXEC);
    const bool answer = reader >= 0 && ::fcntl(own, F_SETLEASE, F_WRLCK) != 0 &&
                        RefusalAnswer(errno) == TLeaseAnswer::Refused;
    if (reader >= 0) ::close(reader);
    ::close(own);
    return answer;
  }();
  return sees;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The /proc walk below reads the kernel's table of processes, not a disk,
// and does not pass the file seam.

// An open descriptor of the process (or its running image) on the file.
bool DescriptorsHold(const std::string& processFolder, const struct stat& file) {
  struct stat target;
  if (::stat((processFolder + "exe").c_str(), &target) == 0 && SameFile(target, file)) return true;
  const std::string fdFolder = processFolder + "fd/";
  DIR* dir = ::opendir(fdFolder.c_str());
  if (dir == nullptr) return false;  // another user's process, or gone
  bool held = false;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    if (::stat((fdFolder + entry->d_name).c_str(), &target) == 0 && SameFile(target, file)) {
      held = true;
      break;
    }
  }
  ::closedir(dir);
  return held;
}

// A mapping of the file (a loaded library, a mapped data file).  Lines of
// the maps file read "start-end perms offset major:minor inode path".
bool MappingsHold(const std::string& processFolder, const struct stat& file) {
  FILE* maps = std::fopen((processFolder + "maps").c_str(), "re");
  if (maps == nullptr) return false;
  bool held = false;
  char line[4096];
  while (!held && std::fgets(line, sizeof line, maps) != nullptr) {
    unsigned major = 0, minor = 0;
    unsigned long long inode = 0;
    if (std::sscanf(line, "%*s %*s %*s %x:%x %llu", &major, &minor, &inode) == 3 && inode != 0) {
      held = inode == file.st_ino && ::makedev(major, minor) == file.st_dev;
    }
    // A line longer than the buffer continues on the next read; its tail
    // never parses as a mapping line, so it is simply passed over.
  }
  std::fclose(maps);
  return held;
}

// Looks through every process this user may inspect, this one included.
bool AnyProcessHolds(const struct stat& file) {
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return false;
  bool held = false;
  while (!held) {
    const dirent* entry = ::readdir(proc);
    if (entry == nullptr) break;
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    const std::string folder = std::string("/proc/") + entry->d_name + "/";
    held = DescriptorsHold(folder, file) || MappingsHold(folder, file);
  }
  ::closedir(proc);
  return held;
}

bool MarkedReadOnly(const struct stat& info) { return (info.st_mode & 0222) == 0; }

}  // namespace

bool FileInUse(const std::string& path) {
  // A path that exists as written needs no case-insensitive resolving.
  std::string resolved = path;
  struct stat info;
  if (calls::Stat(resolved, info) != 0) {
    resolved = ResolvePath(path);
    if (calls::Stat(resolved, info) != 0) return true;
  }
  if (!S_ISREG(info.st_mode)) return true;
  if (MarkedReadOnly(info)) return true;

  // O_NONBLOCK: a lease held by someone else makes the open fail instead of
  // waiting for that holder to give way.
  const int fd = calls::Open(resolved, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return true;
  struct stat opened;
  const bool sameFile = calls::StatOpen(fd, opened, resolved) == 0 && SameFile(opened, info);
  const TLeaseAnswer lease = sameFile ? TryWriteLease(fd, resolved) : TLeaseAnswer::Unknown;
  ::close(fd);
  if (!sameFile) return true;  // replaced while we looked: no answer to trust
  if (lease == TLeaseAnswer::Refused) return true;
  if (lease == TLeaseAnswer::Granted && LeaseSeesReaders()) return false;
  return AnyProcessHolds(opened);
}

bool ProcessHoldsFile(const std::string& path) {
  struct stat info;
  return calls::Stat(ResolvePath(path), info) == 0 && AnyProcessHolds(info);
}

}  // namespace platform
