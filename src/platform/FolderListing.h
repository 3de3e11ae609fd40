#pragma once
// Listing the entries of a folder.
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

}  // namespace platform
