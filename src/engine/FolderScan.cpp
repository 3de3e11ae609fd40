#include "engine/FolderScan.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

#include "platform/ContainedFolder.h"

namespace {

using TFolderIdentity = std::pair<dev_t, ino_t>;

struct TSubfolder {
  std::string Name;
  TFolderIdentity Identity;
};

struct TScanState {
  TUpdaterContext& Context;
  uid_t FamilyOwner;               // the owner of the folder scanned, for the link rule
  std::set<TFolderIdentity> Seen;  // real folders already listed (and the root)
};

bool NameOrder(const TSubfolder& a, const TSubfolder& b) {
  const int folded = ::strcasecmp(a.Name.c_str(), b.Name.c_str());
  return folded != 0 ? folded < 0 : a.Name < b.Name;  // names differing only in case: byte order
}

// What the entry of the open folder is, a link counting as what it leads
// to; false when that is no folder, or the entry is a symbolic link that
// the family's link rule does not follow (one a member planted).
bool IsFolder(int folder, const char* name, uid_t familyOwner, struct stat& info) {
  if (::fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0) return false;
  if (S_ISLNK(info.st_mode)) {
    if (!platform::MayFollowLink(info.st_uid, familyOwner)) return false;
    if (::fstatat(folder, name, &info, 0) != 0) return false;
  }
  return S_ISDIR(info.st_mode);
}

// The folders inside `path`, links to folders included where the link rule
// allows, sorted by name.  Returns nothing for a folder that cannot be
// read.  The folder is closed again before its subfolders are entered, so a
// deep tree holds one descriptor at a time.
std::vector<TSubfolder> ReadSubfolders(const std::string& path, uid_t familyOwner) {
  std::vector<TSubfolder> subfolders;
  DIR* dir = ::opendir(path.c_str());
  if (dir == nullptr) return subfolders;
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] == '.') continue;  // ".", ".." and dot-folders
    if (entry->d_type != DT_DIR && entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN) {
      continue;  // plainly no folder: spare the stat
    }
    struct stat info;
    if (!IsFolder(::dirfd(dir), entry->d_name, familyOwner, info)) continue;
    subfolders.push_back({entry->d_name, {info.st_dev, info.st_ino}});
  }
  ::closedir(dir);
  std::sort(subfolders.begin(), subfolders.end(), NameOrder);
  return subfolders;
}

void ScanSubtree(TScanState& state, const std::string& path) {
  std::vector<TSubfolder> subfolders = ReadSubfolders(path, state.FamilyOwner);
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
  struct stat root;
  const bool known = ::stat(path.c_str(), &root) == 0;
  // A folder whose owner is unknown follows only root's links.
  TScanState state{context, known ? root.st_uid : 0, {}};
  if (known) state.Seen.insert({root.st_dev, root.st_ino});
  ScanSubtree(state, path);
}
