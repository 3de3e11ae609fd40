#pragma once
// The names in the installation folders, read once per detection run.
//
// Detection asks, for every module, whether its program file exists in
// every listed folder: modules times folders questions.  Asked of the file
// system one by one, each miss costs a case-insensitive search through the
// folder.  This index reads each folder's names once, case-folded, and
// answers a miss from memory; a possible hit is confirmed by the file layer
// itself, so the answer is always the file layer's answer.
#include <string>
#include <unordered_map>
#include <unordered_set>

class TFolderNameIndex {
 public:
  // True when a regular file exists at `folder` + `relativePath`, as
  // platform::FileExists says; `folder` ends in "/".
  bool FileExists(const std::string& folder, const std::string& relativePath);

 private:
  struct TFolderNames {
    bool Listed = false;  // false: unreadable, so no name can be ruled out
    std::unordered_set<std::string> FoldedNames;
  };
  const TFolderNames& NamesIn(const std::string& folder);

  const std::string& Folded(const std::string& name);

  std::unordered_map<std::string, TFolderNames> FFolders;
  // The same name is asked for in folder after folder: fold it once.
  std::string FLastName, FLastFolded;
};
