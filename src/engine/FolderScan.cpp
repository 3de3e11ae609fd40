#include "engine/FolderScan.h"

#include <strings.h>

#include <algorithm>
#include <set>
#include <vector>

#include "platform/ContainedFolder.h"
#include "platform/FolderListing.h"
#include "util/Errors.h"

namespace {

using platform::TSubfolder;

struct TScanState {
  TUpdaterContext& Context;
  uid_t FamilyOwner;                         // the owner of the folder scanned, for the link rule
  std::set<platform::TFolderIdentity> Seen;  // real folders already listed (and the root)
};

bool NameOrder(const TSubfolder& a, const TSubfolder& b) {
  const int folded = ::strcasecmp(a.Name.c_str(), b.Name.c_str());
  return folded != 0 ? folded < 0 : a.Name < b.Name;  // names differing only in case: byte order
}

// The folders inside `path`, links to folders included where the family's
// link rule follows them, sorted by name.  Returns nothing for a folder that
// this process cannot see into.  Raises EFOpenError when a folder could not
// be read for another reason (a failing disk): a folder missing from the
// list would be taken for one that holds no installation, and a staged file
// for its module discarded.
std::vector<TSubfolder> ReadSubfolders(const std::string& path, uid_t familyOwner) {
  std::vector<TSubfolder> subfolders;
  if (!platform::ListSubfolders(path, familyOwner, subfolders)) RaiseOpenError(path, errno);
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
  TScanState state{context, platform::FamilyOwner(path), {}};
  platform::TFolderIdentity root;
  if (platform::IdentifyFolder(path, root)) state.Seen.insert(root);
  ScanSubtree(state, path);
}
