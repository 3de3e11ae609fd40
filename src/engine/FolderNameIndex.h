#pragma once
// The names in the installation folders, read once per detection run.
//
// Detection asks, for every module, which of the listed folders hold its
// program file.  Asked of the file system folder by folder, that is modules
// times folders questions, each miss a case-insensitive search through a
// folder.  This index lists each folder once, when it is first needed, and
// keeps for every name (case-folded) the positions of the folders that hold
// an entry of that name.  A module's question is then one lookup, and only
// the folders that may hold its file are asked of the file layer, which
// confirms each: the answer is always the file layer's answer.
#include <string>
#include <unordered_map>
#include <vector>

#include "util/StringList.h"

class TFolderNameIndex {
 public:
  // `folders` (each ending in "/") must outlive the index and stay as it is.
  explicit TFolderNameIndex(const TStringList& folders) : FFolders(folders) {}

  // The positions in the folder list, ascending, of the folders where a
  // regular file exists at folder + `relativePath`, as
  // platform::FileExistsOrRaise says (a failing disk raises EFOpenError).
  // The path's first component must be an entry of the folder, so only
  // folders listing that name are asked.
  std::vector<int> FoldersHolding(const std::string& relativePath);

 private:
  // Positions of the folders whose listing may hold the name.
  std::vector<int> Candidates(const std::string& name);
  void ListFolders();

  const TStringList& FFolders;
  bool FListed = false;
  std::unordered_map<std::string, std::vector<int>> FFoldersByName;  // folded name -> positions
  std::vector<int> FUnlisted;  // unreadable: no name can be ruled out there
};
