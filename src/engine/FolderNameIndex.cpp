#include "engine/FolderNameIndex.h"

#include <vector>

#include "platform/Files.h"
#include "platform/TextEncoding.h"

bool TFolderNameIndex::FileExists(const std::string& folder, const std::string& relativePath) {
  // A path with folders of its own, or none at all, is left to the file layer.
  const bool plainName = !relativePath.empty() && relativePath.find('/') == std::string::npos &&
                         relativePath != "." && relativePath != "..";
  if (plainName) {
    const TFolderNames& names = NamesIn(folder);
    if (names.Listed && names.FoldedNames.count(Folded(relativePath)) == 0) {
      return false;
    }
  }
  return platform::FileExists(folder + relativePath);
}

const TFolderNameIndex::TFolderNames& TFolderNameIndex::NamesIn(const std::string& folder) {
  const auto [slot, added] = FFolders.try_emplace(folder);
  TFolderNames& names = slot->second;
  if (!added) return names;
  std::vector<platform::FolderEntry> entries;
  names.Listed = platform::ListFolder(folder, "*", entries);
  for (const platform::FolderEntry& entry : entries) {
    names.FoldedNames.insert(platform::FoldCase(entry.name));
  }
  return names;
}

const std::string& TFolderNameIndex::Folded(const std::string& name) {
  if (name != FLastName || FLastFolded.empty()) {
    FLastName = name;
    FLastFolded = platform::FoldCase(name);
  }
  return FLastFolded;
}
