#include "engine/FolderScan.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <strings.h>
#include <utility>
#include <vector>

namespace {

using TFolderIdentity = std::pair<dev_t, ino_t>;

struct TScanState {
  TUpdaterContext& Context;
  std::set<TFolderIdentity> Entered;  // real folders whose contents were listed
};

bool IsFolderEntry(int dirFd, const dirent& entry) {
  if (entry.d_type == DT_DIR) return true;
  if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN) return false;
  // Links count as what they lead to; some file systems report no type.
  struct stat info;
  return ::fstatat(dirFd, entry.d_name, &info, 0) == 0 && S_ISDIR(info.st_mode);
}

bool NameOrder(const std::string& a, const std::string& b) {
  const int folded = ::strcasecmp(a.c_str(), b.c_str());
  return folded != 0 ? folded < 0 : a < b;  // names differing only in case: byte order
}

// Reads the names of the folders inside `path`, sorted, unless the folder
// cannot be read or its real folder has been entered before.  The folder is
// closed again before its subfolders are entered, so a deep tree holds one
// descriptor at a time.
bool ReadSubfolders(TScanState& state, const std::string& path, std::vector<std::string>& names) {
  DIR* dir = ::opendir(path.c_str());
  if (dir == nullptr) return false;
  struct stat self;
  const bool firstVisit = ::fstat(::dirfd(dir), &self) == 0 &&
                          state.Entered.insert({self.st_dev, self.st_ino}).second;
  if (firstVisit) {
    while (const dirent* entry = ::readdir(dir)) {
      if (entry->d_name[0] == '.') continue;  // ".", ".." and dot-folders
      if (IsFolderEntry(::dirfd(dir), *entry)) names.emplace_back(entry->d_name);
    }
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end(), NameOrder);
  return firstVisit;
}

void ScanSubtree(TScanState& state, const std::string& path) {
  std::vector<std::string> names;
  if (!ReadSubfolders(state, path, names)) return;
  for (const std::string& name : names) {
    state.Context.DirList->Add(path + name + "/");
    ScanSubtree(state, path + name + "/");
    state.Context.Window.SetStatusLine(path + name);
    state.Context.Window.ProcessMessages();
  }
}

}  // namespace

void ScanFolder(TUpdaterContext& context, const std::string& path) {
  TScanState state{context, {}};
  ScanSubtree(state, path);
}
