#include "ArchiveRelease.h"

#include <filesystem>
#include <set>

#include "ServerTree.h"
#include "SignedEntries.h"
#include "engine/CatalogueRelease.h"
#include "engine/FileDigest.h"
#include "platform/Files.h"
#include "util/Errors.h"
#include "util/allfunct.h"

namespace fs = std::filesystem;

namespace {

// Copies the file and checks the copy against what was signed.
void CopySigned(const TSignedEntry& entry, const std::string& from, const std::string& to) {
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  const auto copied = engine::DigestOfFile(to);
  if (!copied || copied->Sha256 != entry.Expected.Sha256 || copied->Size != *entry.Expected.Size)
    throw Exception(entry.Name() + ": " + from + " is not the file the catalogue was signed with");
}

// The release's files, copied into `folder` (its download/ below it).
int CopyRelease(const TServerTree& tree, const std::string& catalogue, const std::string& folder) {
  const TServerTree copy(folder);
  fs::create_directories(folder + "download");
  std::set<std::string> copied;
  for (const TSignedEntry& entry : SignedEntries(catalogue)) {
    if (entry.Bare.empty() || copied.count(entry.Bare)) continue;
    if (!entry.Signed()) throw Exception(entry.Name() + " has no sha256 and size fields");
    const std::string from = tree.Component(entry.Bare);
    if (!platform::FileExists(from)) throw Exception(entry.Name() + ": " + from + " is missing");
    CopySigned(entry, from, copy.Component(entry.Bare));
    copied.insert(entry.Bare);
  }
  if (platform::FileExists(tree.Signature())) fs::copy_file(tree.Signature(), copy.Signature());
  platform::WriteWholeFile(copy.Catalogue(), catalogue.data(), catalogue.size());
  return static_cast<int>(copied.size());
}

}  // namespace

int ArchiveRelease(const std::string& serverRoot, const std::string& archiveRoot,
                   std::ostream& out) {
  const TServerTree tree(serverRoot);
  const std::string catalogue = platform::ReadWholeFile(tree.Catalogue());
  uint64_t serial = 0;
  try {
    serial = ReadCatalogueRelease(catalogue).Serial;
  } catch (const Exception& error) {
    throw Exception(tree.Catalogue() + ": " + error.Message());
  }
  if (serial == 0)
    throw Exception(tree.Catalogue() + " has no serial: sign the release before archiving it");
  const std::string archive = AppendBackslash(archiveRoot);
  const std::string name = std::to_string(serial);
  const std::string target = archive + name;
  if (fs::exists(target)) {
    const std::string archived = TServerTree(target).Catalogue();
    if (platform::FileExists(archived) && platform::ReadWholeFile(archived) == catalogue) {
      out << "release " << name << " is archived already in " << target << "\n";
      return 0;
    }
    throw Exception(target + " holds another release of serial " + name);
  }
  const std::string partial = archive + "." + name;
  fs::remove_all(partial);
  try {
    const int files = CopyRelease(tree, catalogue, AppendBackslash(partial));
    fs::rename(partial, target);
    out << "archived release " << name << ": " << files << (files == 1 ? " file" : " files")
        << " in " << target << "\n";
  } catch (...) {
    std::error_code ignored;
    fs::remove_all(partial, ignored);
    throw;
  }
  return 0;
}
