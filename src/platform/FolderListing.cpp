#include "platform/FolderListing.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>

#include "platform/ContainedFolder.h"
#include "platform/FileCalls.h"
#include "platform/PathLookup.h"
#include "platform/TextEncoding.h"

namespace platform {
namespace {

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

}  // namespace

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
    if (calls::Stat(full, info) == 0 || calls::StatEntry(full, info) == 0) {
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

namespace {

// What the entry of the open folder is, a link counting as what it leads
// to when the link rule follows it: -1 with errno when it could not be
// looked at, 0 when it is no folder (or a link not followed), 1 for a folder.
int IsFolder(int folder, const char* name, uid_t familyOwner, const std::string& path,
             struct stat& info) {
  if (calls::StatIn(folder, name, info, AT_SYMLINK_NOFOLLOW, path) != 0) return -1;
  if (S_ISLNK(info.st_mode)) {
    if (!MayFollowLink(info.st_uid, familyOwner)) return 0;
    if (calls::StatIn(folder, name, info, 0, path) != 0) return -1;
  }
  return S_ISDIR(info.st_mode) ? 1 : 0;
}

}  // namespace

bool ListSubfolders(const std::string& folder, uid_t familyOwner,
                    std::vector<TSubfolder>& subfolders) {
  subfolders.clear();
  DIR* dir = calls::OpenFolderStream(folder);
  if (dir == nullptr) return MeansNotThere(errno);
  int error = 0;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] == '.') continue;  // ".", ".." and dot-folders
    if (entry->d_type != DT_DIR && entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN) {
      continue;  // plainly no folder: spare the stat
    }
    struct stat info;
    const int isFolder =
        IsFolder(::dirfd(dir), entry->d_name, familyOwner, folder + entry->d_name, info);
    if (isFolder < 0 && !MeansNotThere(errno)) error = errno;
    if (isFolder > 0) subfolders.push_back({entry->d_name, {info.st_dev, info.st_ino}});
  }
  ::closedir(dir);
  errno = error;
  return error == 0;
}

bool IdentifyFolder(const std::string& folder, TFolderIdentity& identity) {
  struct stat info;
  if (calls::Stat(folder, info) != 0 || !S_ISDIR(info.st_mode)) return false;
  identity = {info.st_dev, info.st_ino};
  return true;
}

}  // namespace platform
