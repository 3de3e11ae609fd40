#include "platform/PathLookup.h"

#include <dirent.h>
#include <sys/stat.h>

#include "platform/Errors.h"
#include "platform/FileCalls.h"
#include "platform/TextEncoding.h"

namespace platform {
namespace {

// The entry of the folder whose name equals the given one without regard to
// case; the smallest such name when several do, so the answer is stable.
// `error` is set when the folder could not be listed for another reason
// than absence.
bool FindEntryIgnoringCase(const std::string& folder, const std::string& name, std::string& found,
                           int& error) {
  DIR* dir = calls::OpenFolderStream(folder);
  if (dir == nullptr) {
    if (!MeansNotThere(errno)) error = errno;
    return false;
  }
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

// What stat says of the path resolved as ResolvePath does; a path that
// exists as written needs no resolving.
bool StatResolved(const std::string& path, struct stat& info) {
  return calls::Stat(path, info) == 0 || calls::Stat(ResolvePath(path), info) == 0;
}

}  // namespace

bool EntryExistsExact(const std::string& path) {
  struct stat info;
  return calls::StatEntry(path, info) == 0;
}

bool MeansNotThere(int error) {
  return error == ENOENT || error == ENOTDIR || error == EACCES || error == ELOOP ||
         error == ENAMETOOLONG;
}

bool ProvesAbsent(int error) { return MeansNotThere(error) && error != EACCES; }

std::string ResolvePath(const std::string& path) {
  int error = 0;
  return ResolvePath(path, error);
}

std::string ResolvePath(const std::string& path, int& error) {
  error = 0;
  // A path that exists as written has every component exactly as written:
  // one look answers for all of them.
  if (!path.empty() && EntryExistsExact(path)) return path;
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
      if (!EntryExistsExact(resolved + component)) {
        std::string found;
        if (FindEntryIgnoringCase(resolved, component, found, error)) {
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

bool FileExistsOrRaise(const std::string& path) {
  struct stat info;
  if (calls::Stat(path, info) == 0) return S_ISREG(info.st_mode);
  if (!MeansNotThere(errno)) RaiseOpenError(path, errno);
  int error = 0;
  const std::string resolved = ResolvePath(path, error);
  if (error != 0) RaiseOpenError(path, error);
  if (calls::Stat(resolved, info) == 0) return S_ISREG(info.st_mode);
  if (!MeansNotThere(errno)) RaiseOpenError(path, errno);
  return false;
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

bool RegularFileWrittenExact(const std::string& path, timespec& time) {
  struct stat info;
  if (calls::Stat(path, info) != 0 || !S_ISREG(info.st_mode)) return false;
  time = info.st_mtim;
  return true;
}

bool FileExistsExact(const std::string& path) {
  struct stat info;
  return calls::Stat(path, info) == 0 && S_ISREG(info.st_mode);
}

bool FileExistsExactOrRaise(const std::string& path) {
  struct stat info;
  if (calls::Stat(path, info) == 0) return S_ISREG(info.st_mode);
  if (!ProvesAbsent(errno)) RaiseOpenError(path, errno);
  return false;
}

}  // namespace platform
