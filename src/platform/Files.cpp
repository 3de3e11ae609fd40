#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/FileCalls.h"
#include "platform/TextEncoding.h"
#include "util/Errors.h"

namespace platform {
namespace {

bool FailWith(int error) {
  errno = error;
  return false;
}

std::string& ProgramFolderOverride() {
  static std::string folder;
  return folder;
}

// Splits "a/b/c" into its folder "a/" and its name "c"; a bare name has the
// folder "".
void SplitFolderAndName(const std::string& path, std::string& folder, std::string& name) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    folder.clear();
    name = path;
  } else {
    folder = path.substr(0, slash + 1);
    name = path.substr(slash + 1);
  }
}

bool Exists(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

// The entry of the folder whose name equals the given one without regard to
// case; the smallest such name when several do, so the answer is stable.
bool FindEntryIgnoringCase(const std::string& folder, const std::string& name, std::string& found) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return false;
  const std::string wanted = FoldCase(name);
  bool any = false;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string candidate = entry->d_name;
    if (FoldCase(candidate) != wanted) continue;
    if (!any || candidate < found) found = candidate;
    any = true;
  }
  ::closedir(dir);
  return any;
}

// Matches a name against a pattern of "*" (any run of characters) and "?"
// (one character), both sides already case-folded.  Iterative with a single
// backtrack point, so hostile patterns cannot blow up.
bool WildcardMatch(std::string_view pattern, std::string_view name) {
  const auto charLength = [](std::string_view text, size_t pos) {
    size_t length = 1;
    while (pos + length < text.size() &&
           (static_cast<unsigned char>(text[pos + length]) & 0xC0) == 0x80)
      ++length;
    return length;
  };
  size_t p = 0, n = 0;
  size_t starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() && pattern[p] == '?') {
      ++p;
      n += charLength(name, n);
    } else if (p < pattern.size() && pattern[p] == name[n]) {
      ++p;
      ++n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      starN += charLength(name, starN);
      n = starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

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

// An open file: its descriptor, and its path for the file seam.  Owner and
// mode are changed through the descriptor only, as a path may be a symbolic
// link to a file elsewhere.
struct TOpenFile {
  int fd;
  const std::string& path;
};
int ChangeOwner(TOpenFile file, uid_t owner, gid_t group) {
  return calls::ChangeOwner(file.fd, owner, group, file.path);
}
int ChangeMode(TOpenFile file, mode_t mode) { return calls::ChangeMode(file.fd, mode, file.path); }
int StatOf(TOpenFile file, struct stat& info) { return ::fstat(file.fd, &info); }

// Gives the file the owner, group and permission bits described by `from`.
// Owner and group go first, as changing them clears the set-ID bits; what
// the process may not change stays, and a set-ID bit whose owner or group
// could not be taken over is dropped rather than granted to someone else.
// False when the bits could not be set.
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

// Copies a regular file to a target that must not exist yet, flushing the
// copy to disk; the copy takes over the source's owner and mode as a rename
// would keep them.  A source that is a symbolic link is refused (ELOOP): a
// rename would move the link, and a copy must not fetch what it points at.
// On failure the partial copy is removed and errno kept.
bool CopyToNewFile(const std::string& from, const std::string& to) {
  const int source = calls::Open(from, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (source < 0) return false;
  struct stat info;
  const bool regular = ::fstat(source, &info) == 0 && S_ISREG(info.st_mode);
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

// Ends a move whose target is already in place by removing the source.  When
// the source cannot be removed the target is taken back, so a move either
// happens or not.
bool RemoveSourceOrTakeBack(const std::string& from, const std::string& to) {
  if (calls::Unlink(from) == 0) return true;
  const int error = errno;
  calls::Unlink(to);
  return FailWith(error);
}

// Across file systems: copy, flush, then remove the source.
bool MoveAcrossFileSystems(const std::string& from, const std::string& to) {
  return CopyToNewFile(from, to) && RemoveSourceOrTakeBack(from, to);
}

// For file systems without the no-replace rename: a hard link fails just as
// surely on an existing target.
bool MoveByLink(const std::string& from, const std::string& to) {
  return calls::Link(from, to) == 0 && RemoveSourceOrTakeBack(from, to);
}

bool MoveResolved(const std::string& from, const std::string& to) {
  if (calls::RenameNoReplace(from, to) == 0) return true;
  if (errno == EXDEV) return MoveAcrossFileSystems(from, to);
  if (errno != EINVAL && errno != ENOSYS) return false;
  if (MoveByLink(from, to)) return true;
  if (errno == EPERM || errno == EXDEV) return MoveAcrossFileSystems(from, to);
  return false;
}

// A file or folder with no write permission bit at all counts as read-only
// for everyone, also for a process that could bypass the bits (root): this
// is the read-only attribute of the updater's world.
bool IsMarkedReadOnly(const struct stat& info) { return (info.st_mode & 0222) == 0; }

constexpr std::string_view kUnfinishedWriteMarker = ".{T}";

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string NewTempPathBeside(const std::string& folder, const std::string& name) {
  static std::atomic<unsigned> counter{0};
  std::string path = folder;
  path += '.';
  path += name;
  path += kUnfinishedWriteMarker;
  path += std::to_string(::getpid());
  path += '_';
  path += std::to_string(counter++);
  return path;
}

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

// Checks that the entry under the name may be replaced; errno tells why
// not.  `existing` describes the entry itself: a symbolic link is replaced
// (or refused) as a name, never written through, so in a folder that others
// may write to a link cannot send a write to a file elsewhere.
bool MayReplace(const std::string& folder, const std::string& target, struct stat& existing,
                bool& exists) {
  struct stat folderInfo;
  if (::stat(folder.empty() ? "." : folder.c_str(), &folderInfo) != 0) return false;
  if (!S_ISDIR(folderInfo.st_mode)) return FailWith(ENOTDIR);
  if (IsMarkedReadOnly(folderInfo)) return FailWith(EACCES);
  exists = ::lstat(target.c_str(), &existing) == 0;
  if (!exists) return errno == ENOENT;
  if (S_ISDIR(existing.st_mode)) return FailWith(EISDIR);
  if (S_ISLNK(existing.st_mode)) return true;
  if (IsMarkedReadOnly(existing) || ::access(target.c_str(), W_OK) != 0) return FailWith(EACCES);
  return true;
}

// What stat says of the path resolved as ResolvePath does; a path that
// exists as written needs no resolving.
bool StatResolved(const std::string& path, struct stat& info) {
  return ::stat(path.c_str(), &info) == 0 || ::stat(ResolvePath(path).c_str(), &info) == 0;
}

}  // namespace

std::string ProgramFolder() {
  if (!ProgramFolderOverride().empty()) return ProgramFolderOverride();
  char buffer[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return "./";
  std::string folder, name;
  SplitFolderAndName(std::string(buffer, static_cast<size_t>(length)), folder, name);
  return folder;
}

void SetProgramFolderForTesting(const std::string& folder) {
  ProgramFolderOverride() = folder.empty() || folder.back() == '/' ? folder : folder + "/";
}

std::string ResolvePath(const std::string& path) {
  // A path that exists as written has every component exactly as written:
  // one look answers for all of them.
  if (!path.empty() && Exists(path)) return path;
  std::string resolved;
  size_t pos = 0;
  if (!path.empty() && path[0] == '/') {
    resolved.push_back('/');
    pos = 1;
  }
  bool lookUp = true;  // once a component is missing, the rest are kept as given
  while (pos <= path.size()) {
    size_t slash = path.find('/', pos);
    if (slash == std::string::npos) slash = path.size();
    const std::string component = path.substr(pos, slash - pos);
    std::string chosen = component;
    if (lookUp && !component.empty() && component != "." && component != "..") {
      if (!Exists(resolved + component)) {
        std::string found;
        if (FindEntryIgnoringCase(resolved, component, found)) {
          chosen = found;
        } else {
          lookUp = false;
        }
      }
    }
    resolved += chosen;
    if (slash < path.size()) resolved += '/';
    pos = slash + 1;
  }
  return resolved;
}

bool FileExists(const std::string& path) {
  struct stat info;
  return StatResolved(path, info) && S_ISREG(info.st_mode);
}

bool FolderExists(const std::string& path) {
  struct stat info;
  return StatResolved(path, info) && S_ISDIR(info.st_mode);
}

int64_t FileSize(const std::string& path) {
  struct stat info;
  if (!StatResolved(path, info) || !S_ISREG(info.st_mode)) return -1;
  return static_cast<int64_t>(info.st_size);
}

bool ListFolder(const std::string& folder, const std::string& pattern,
                std::vector<FolderEntry>& entries) {
  entries.clear();
  std::string resolved = ResolvePath(folder);
  if (!resolved.empty() && resolved.back() != '/') resolved += '/';
  DIR* dir = calls::OpenFolderStream(resolved);
  if (dir == nullptr) return false;
  // The old "*.*" convention means every name, also names without a dot.
  const std::string foldedPattern = pattern == "*.*" ? "*" : FoldCase(pattern);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (!WildcardMatch(foldedPattern, FoldCase(name))) continue;
    FolderEntry found;
    found.name = name;
    struct stat info;
    const std::string full = resolved + name;
    if (::stat(full.c_str(), &info) == 0 || ::lstat(full.c_str(), &info) == 0) {
      found.isFolder = S_ISDIR(info.st_mode);
      found.size = S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0;
    }
    entries.push_back(std::move(found));
  }
  ::closedir(dir);
  // Sorted by name without regard to case, so every listing is in one stable
  // order whatever the file system delivers.
  std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
    const std::string foldedA = FoldCase(a.name), foldedB = FoldCase(b.name);
    return foldedA != foldedB ? foldedA < foldedB : a.name < b.name;
  });
  return true;
}

// Read with the directory-entry call itself rather than a DIR stream, which
// costs one more call per folder: detection lists thousands of folders.
bool ListNamesExact(const std::string& folder, std::vector<std::string>& names) {
  names.clear();
  const int fd = calls::OpenFolder(folder);
  if (fd < 0) return false;
  alignas(dirent64) char buffer[32 * 1024];
  ssize_t got;
  while ((got = ::getdents64(fd, buffer, sizeof buffer)) > 0) {
    for (ssize_t at = 0; at < got;) {
      const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
      const std::string_view name = entry->d_name;
      if (name != "." && name != "..") names.emplace_back(name);
      at += entry->d_reclen;
    }
  }
  ::close(fd);
  return got == 0;
}

bool DeleteFile(const std::string& path) { return DeleteFileExact(ResolvePath(path)); }

bool MoveFileNoReplace(const std::string& from, const std::string& to) {
  const std::string target = ResolvePath(to);
  // A target differing only in case is the same name to the updater.
  if (Exists(target)) return FailWith(EEXIST);
  return MoveFileNoReplaceExact(ResolvePath(from), target);
}

bool FileExistsExact(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool DeleteFileExact(const std::string& path) { return calls::Unlink(path) == 0; }

bool MoveFileNoReplaceExact(const std::string& from, const std::string& to) {
  if (!MoveResolved(from, to)) return false;
  std::string targetFolder, targetName, sourceFolder, sourceName;
  SplitFolderAndName(to, targetFolder, targetName);
  SplitFolderAndName(from, sourceFolder, sourceName);
  SyncFolder(targetFolder.empty() ? "." : targetFolder);
  if (sourceFolder != targetFolder) SyncFolder(sourceFolder.empty() ? "." : sourceFolder);
  return true;
}

bool CopyOwnerAndMode(const std::string& from, const std::string& to) {
  struct stat old;
  if (::lstat(from.c_str(), &old) != 0) return false;
  // Non-blocking, so a FIFO planted under the name cannot stall the open.
  const int fd = calls::Open(to, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat target;
  if (::fstat(fd, &target) != 0 || !S_ISREG(target.st_mode)) {
    ::close(fd);
    return FailWith(ELOOP);
  }
  // A link says nothing of the file it stands for: the new file keeps the
  // owner and mode it was created with.
  const bool taken = S_ISLNK(old.st_mode) || TakeOverOwnerAndMode(TOpenFile{fd, to}, old);
  const int error = errno;
  ::close(fd);
  errno = error;
  return taken;
}

bool OwnedByAnotherUser(const std::string& path) {
  struct stat info;
  const uid_t us = ::geteuid();
  return us != 0 && ::lstat(path.c_str(), &info) == 0 && info.st_uid != us;
}

bool ReplaceWithOwnCopy(const std::string& path) {
  std::string folder, name, copy;
  SplitFolderAndName(path, folder, name);
  for (int attempt = 0;; ++attempt) {
    copy = NewTempPathBeside(folder, name);
    if (CopyToNewFile(path, copy)) break;
    if (errno != EEXIST || attempt == 100) return false;
  }
  if (calls::Rename(copy, path) != 0) {
    const int error = errno;
    calls::Unlink(copy);
    return FailWith(error);
  }
  SyncFolder(folder.empty() ? "." : folder);
  return true;
}

bool IsUnfinishedWrite(const std::string& entry, const std::string& name) {
  const size_t marker = entry.rfind(kUnfinishedWriteMarker);
  if (entry.empty() || entry[0] != '.' || marker == std::string::npos || marker < 2) return false;
  const std::string_view tail =
      std::string_view(entry).substr(marker + kUnfinishedWriteMarker.size());
  const size_t underscore = tail.find('_');
  if (underscore == std::string_view::npos || !AllDigits(tail.substr(0, underscore)) ||
      !AllDigits(tail.substr(underscore + 1)))
    return false;
  return name.empty() || SameTextIgnoringCase(entry.substr(1, marker - 1), name);
}

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
  // private file must not come back readable by everyone.  A replaced link
  // lends nothing.
  errno = 0;
  bool ok = (!exists || !S_ISREG(existing.st_mode) ||
             TakeOverOwnerAndMode(TOpenFile{fd, tempPath}, existing)) &&
            WriteAll(fd, static_cast<const char*>(data), size, tempPath) &&
            calls::Sync(fd, tempPath) == 0;
  int error = errno;
  if (calls::Close(fd, tempPath) != 0 && ok) ok = false, error = errno;
  if (ok && calls::Rename(tempPath, target) != 0) ok = false, error = errno;
  if (!ok) {
    calls::Unlink(tempPath);
    RaiseCreateError(path, error ? error : EIO);
  }
  SyncFolder(folder.empty() ? "." : folder);
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
  return fd;
}

std::string ReadWholeFile(const std::string& path) {
  const std::string resolved = ResolvePath(path);
  const int fd = calls::Open(resolved, O_RDONLY | O_CLOEXEC);
  if (fd < 0) RaiseOpenError(path, errno);
  struct stat info;
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd);
    RaiseOpenError(path, EISDIR);
  }
  std::string content;
  if (S_ISREG(info.st_mode) && info.st_size > 0) content.reserve(static_cast<size_t>(info.st_size));
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

void SyncFolder(const std::string& folder) {
  if (!PassFileOperation(TFileOp::SyncFolder, folder)) return;
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace platform
