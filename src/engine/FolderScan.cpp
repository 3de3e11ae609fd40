#include "engine/FolderScan.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

namespace {

using TFolderIdentity = std::pair<dev_t, ino_t>;

struct TSubfolder {
  std::string Name;
  TFolderIdentity Identity;
};

struct TScanState {
  TUpdaterContext& Context;
  std::set<TFolderIdentity> Seen;  // real folders already listed (and the root)
};

bool NameOrder(const TSubfolder& a, const TSubfolder& b) {
  const int folded = ::strcasecmp(a.Name.c_str(), b.Name.c_str());
  return folded != 0 ? folded < 0 : a.Name < b.Name;  // names differing only in case: byte order
}

// The folders inside `path`, links to folders included, sorted by name.
// Returns nothing for a folder that cannot be read.  The folder is closed
// again before its subfolders are entered, so a deep tree holds one
// descriptor at a time.
std::vector<TSubfolder> ReadSubfolders(const std::string& path) {
  std::vector<TSubfolder> subfolders;
  DIR* dir = ::opendir(path.c_str());
  if (dir == nullptr) return subfolders;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] == '.') continue;  // ".", ".." and dot-folders
    if (entry->d_type != DT_DIR && entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN) {
      continue;  // plainly no folder: spare the stat
    }
    struct stat info;  // follows links: a link counts as what it leads to
    if (::fstatat(::dirfd(dir), entry->d_name, &info, 0) != 0 || !S_ISDIR(info.st_mode)) continue;
    subfolders.push_back({entry->d_name, {info.st_dev, info.st_ino}});
  }
  ::closedir(dir);
  std::sort(subfolders.begin(), subfolders.end(), NameOrder);
  return subfolders;
}

void ScanSubtree(TScanState& state, const std::string& path) {
  std::vector<TSubfolder> subfolders = ReadSubfolders(path);
  // A real folder is listed once only, under the first name that reaches
  // it; a second road to it (a link, a bind mount) is passed over, so links
  // cannot make the walk endless nor one folder count as two installations.
  // Marking the whole level before descending keeps a folder at its own
  // place rather than under a link to it from an earlier sibling's subtree.
  std::erase_if(subfolders, [&](const TSubfolder& folder) {
    return !state.Seen.insert(folder.Identity).second;
  });
  for (const TSubfolder& folder : subfolders) {
    const std::string folderPath = path + folder.Name + "/";
    state.Context.DirList->Add(folderPath);
    ScanSubtree(state, folderPath);
    state.Context.Window.SetStatusLine(path + folder.Name);
    state.Context.Window.ProcessMessages();
  }
}

}  // namespace

void ScanFolder(TUpdaterContext& context, const std::string& path) {
  TScanState state{context, {}};
  struct stat root;
  if (::stat(path.c_str(), &root) == 0) state.Seen.insert({root.st_dev, root.st_ino});
  ScanSubtree(state, path);
}
