#include "engine/FolderNameIndex.h"

#include <algorithm>
#include <iterator>

#include "platform/Files.h"
#include "platform/TextEncoding.h"
#include "util/allfunct.h"

std::vector<int> TFolderNameIndex::FoldersHolding(const std::string& relativePath) {
  std::vector<int> holding;
  if (relativePath.empty()) return holding;  // no name: nothing holds it
  for (const int index : Candidates(relativePath.substr(0, relativePath.find('/')))) {
    if (platform::FileExistsOrRaise(AppendBackslash(FFolders[index]) + relativePath))
      holding.push_back(index);
  }
  return holding;
}

std::vector<int> TFolderNameIndex::Candidates(const std::string& name) {
  std::vector<int> candidates;
  if (name.empty() || name == "." || name == "..") {
    // Not a name a listing holds: every folder is left to the file layer.
    candidates.resize(static_cast<size_t>(FFolders.Count()));
    for (int index = 0; index < FFolders.Count(); ++index) candidates[index] = index;
    return candidates;
  }
  ListFolders();
  const auto found = FFoldersByName.find(platform::FoldCase(name));
  const std::vector<int> none;
  const std::vector<int>& listing = found == FFoldersByName.end() ? none : found->second;
  std::merge(listing.begin(), listing.end(), FUnlisted.begin(), FUnlisted.end(),
             std::back_inserter(candidates));
  return candidates;
}

void TFolderNameIndex::ListFolders() {
  if (FListed) return;
  FListed = true;
  std::vector<std::string> names;
  for (int index = 0; index < FFolders.Count(); ++index) {
    // The folder list holds the names the scan found, exactly.
    if (!platform::ListNamesExact(FFolders[index], names)) {
      FUnlisted.push_back(index);
      continue;
    }
    for (const std::string& name : names) {
      std::vector<int>& folders = FFoldersByName[platform::FoldCase(name)];
      // Two names differing only in case fold alike: the folder counts once.
      if (folders.empty() || folders.back() != index) folders.push_back(index);
    }
  }
}
