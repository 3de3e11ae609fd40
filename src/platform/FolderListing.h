#pragma once
// Listing the entries of a folder.
#include <sys/types.h>

#include <compare>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct FolderEntry {
  std::string name;
  bool isFolder = false;
  uint64_t size = 0;
};
// Entries of a folder whose names match the pattern ("*" and "?" wildcards,
// compared without regard to case).  "." and ".." are never delivered.
// Returns false when the folder cannot be listed.
bool ListFolder(const std::string& folder, const std::string& pattern,
                std::vector<FolderEntry>& entries);

// The names in a folder named by its exact path (one found by a listing or
// the folder scan; nothing is looked up without regard to case), in the
// file system's order, without "." and "..".  Cheaper than ListFolder where
// only the names matter.  False when the folder cannot be listed.
bool ListNamesExact(const std::string& folder, std::vector<std::string>& names);

// A real folder: the same pair for every road to it (links, bind mounts).
struct TFolderIdentity {
  uint64_t Device = 0;
  uint64_t Inode = 0;
  auto operator<=>(const TFolderIdentity&) const = default;
};
struct TSubfolder {
  std::string Name;
  TFolderIdentity Identity;
};
// The folders inside the folder at the exact path, in the file system's
// order: entries whose names begin with "." are passed over, a symbolic link
// counts as what it leads to when the family's link rule follows it (one
// that root or `familyOwner` made, ContainedFolder.h), else as no folder.  False, errno set, when
// the folder or one of its entries could not be looked at for another reason than absence
// (MeansNotThere): the list may then miss folders.  A folder that is not
// there for this process lists nothing.  The folder is closed again before
// this returns, so a walk down a deep tree holds one descriptor at a time.
bool ListSubfolders(const std::string& folder, uid_t familyOwner,
                    std::vector<TSubfolder>& subfolders);
// The identity of the folder at the path (links followed); false when there
// is none.
bool IdentifyFolder(const std::string& folder, TFolderIdentity& identity);

}  // namespace platform
