#include "Prune.h"

#include <filesystem>
#include <set>

#include "ServerTree.h"
#include "SignedEntries.h"
#include "platform/Files.h"

namespace fs = std::filesystem;

namespace {

// The paths below download/ of every compressed copy and patch the
// catalogue names.
std::set<std::string> NamedDeltaFiles(const std::string& catalogue) {
  std::set<std::string> named;
  for (const TSignedEntry& entry : SignedEntries(catalogue)) {
    if (entry.Bare.empty() || !entry.Signed()) continue;
    if (entry.Offer.CompressedCopy)
      named.insert(engine::CompressedCopyPath(entry.Bare, entry.Expected.Sha256));
    for (const std::string& base : entry.Offer.PatchBases)
      named.insert(engine::PatchPath(entry.Bare, base, entry.Expected.Sha256));
  }
  return named;
}

}  // namespace

int Prune(const std::string& serverRoot, std::ostream& out) {
  const TServerTree tree(serverRoot);
  const std::set<std::string> named = NamedDeltaFiles(platform::ReadWholeFile(tree.Catalogue()));
  const std::string folder = tree.Component(engine::kDeltaFolder);
  int removed = 0, kept = 0;
  if (fs::is_directory(folder)) {
    for (const auto& entry : fs::directory_iterator(folder)) {
      if (entry.is_symlink() || !entry.is_regular_file()) continue;
      const std::string name = entry.path().filename().string();
      if (named.count(engine::kDeltaFolder + name)) {
        ++kept;
        continue;
      }
      fs::remove(entry.path());
      out << "removed " << folder << name << "\n";
      ++removed;
    }
  }
  out << "pruned " << folder << ": " << removed << " removed, " << kept << " kept\n";
  return 0;
}
