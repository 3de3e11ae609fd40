#include "Verify.h"

#include <filesystem>
#include <memory>

#include "DeltaCheck.h"
#include "ReleaseArchive.h"
#include "Roots.h"
#include "ServerTree.h"
#include "engine/Catalogue.h"
#include "engine/CatalogueRelease.h"
#include "engine/CatalogueSignature.h"
#include "engine/DeltaOffer.h"
#include "engine/DownloadVerdict.h"
#include "engine/RootChain.h"
#include "platform/Files.h"
#include "util/QuorvinSI.h"
#include "util/UtcTime.h"

namespace {

std::string Counted(int count, const std::string& one, const std::string& many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

class TVerification {
 public:
  TVerification(const TServerTree& tree, std::ostream& out) : FTree(tree), FOut(out) {}

  // What sign has computed and checked already.
  void Known(const TPendingCatalogue& pending) {
    for (const auto& [path, digest] : pending.Digests) FDigests[path] = digest;
    FCheckedDeltaFiles = pending.CheckedDeltaFiles;
  }

  void Archive(const std::string& root) {
    try {
      FArchive = std::make_unique<TReleaseArchive>(root);
    } catch (const Exception& error) {
      Fail("the archive: " + error.Message());
    }
  }

  // The newest root, walked to as the updater walks; nothing when the walk fails.
  std::optional<engine::TRoot> Roots(const engine::TRoot& firstRoot) {
    try {
      TTreeRoots roots(FTree);
      const engine::TRoot newest = engine::WalkRootChain(firstRoot, roots);
      engine::CheckRootCurrent(newest, SystemUtcNow());
      FRoot = newest.Version;
      return newest;
    } catch (const Exception& error) {
      Fail(error.Message());
      return std::nullopt;
    }
  }

  void Signature(const engine::TRoot& root, const TPendingCatalogue& published) {
    try {
      CheckCatalogueSignature(published.Catalogue, published.Signatures, root.CatalogueKeys);
      const TCatalogueRelease release = ReadCatalogueRelease(published.Catalogue);
      CheckCatalogueRelease(release, root.SerialFloor, SystemUtcNow());
      FSerial = release.Serial;
      FExpires = release.Expires;
    } catch (const Exception& error) {
      Fail(error.Message());
    }
  }

  void Components(const std::string& catalogueBytes) {
    TCatalogue catalogue(TCatalogueBytes{catalogueBytes});
    TStringList modules;
    catalogue.ReadModules(modules);
    for (int m = 0; m < modules.Count(); ++m) {
      const std::string& module = modules[m];
      if (IsReleaseSection(module)) {
        Fail("a module is named \"" + module + "\", which is the name of the release section");
        continue;
      }
      NoComma("the module name \"" + module + "\"", module);
      NoComma("the program file of module \"" + module + "\"",
              catalogue.ProgramFileForRecord(module));
      TStringList components;
      catalogue.ReadComponents(module, components);
      for (int c = 0; c < components.Count(); ++c)
        Component(module, components[c], catalogue.Entry(module, components[c]));
    }
  }

  // Files below download/delta/ that no entry names.
  void Unnamed() {
    const std::string folder = FTree.Component(engine::kDeltaFolder);
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) return;
    int unnamed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
      if (!FNamed.count(engine::kDeltaFolder + entry.path().filename().string())) ++unnamed;
    if (unnamed > 0)
      FOut << "note: " << Counted(unnamed, "file", "files") << " in " << folder
           << " named by no entry (quorvin-publish prune removes them)\n";
  }

  int Close() {
    if (FUnchecked > 0)
      FOut << Counted(FUnchecked, "patch", "patches")
           << " not checked, for want of the base (see NOT CHECKED above)\n";
    if (FFailures > 0) {
      FOut << FFailures << (FFailures == 1 ? " check" : " checks") << " failed\n";
      return 1;
    }
    FOut << "verified: signature, serial " << FSerial << ", expires " << FormatUtcTime(*FExpires)
         << ", " << FFiles << " component " << (FFiles == 1 ? "file" : "files");
    if (FCopies > 0) FOut << ", " << Counted(FCopies, "compressed copy", "compressed copies");
    if (FPatches > 0) FOut << ", " << Counted(FPatches, "patch", "patches");
    FOut << ", under " << engine::RootName(FRoot) << "\n";
    return 0;
  }

  void Fail(const std::string& what) {
    FOut << "FAIL: " << what << "\n";
    ++FFailures;
  }

 private:
  void NoComma(const std::string& what, const std::string& text) {
    if (text.find(',') != std::string::npos)
      Fail(what + " holds a comma, which the updater's list of updates cannot carry");
  }

  void Component(const std::string& module, const std::string& key, const std::string& entry) {
    const std::string name = "[" + module + "] " + key;
    NoComma(name + ": the key", key);
    const engine::TExpectedFile expected = engine::ExpectedFileOfEntry(entry, true);
    if (expected.Trust != engine::TExpectedFile::kLengthAndSha256 || !expected.Size)
      return Fail(name + ": no valid sha256 and size fields");
    TQuorvinSI fields;
    fields.SetDelimiter(',');
    fields.SetSourceString(entry);
    const std::string bare =
        BareFileName(fields.FieldList().Count() > 1 ? fields.FieldList()[1] : std::string());
    if (bare.empty()) return Fail(name + ": the entry names no file");
    const std::string path = FTree.Component(bare);
    if (!FDigests.count(path)) FDigests[path] = engine::DigestOfFile(path, true);
    const std::optional<engine::TFileDigest>& digest = FDigests[path];
    if (!digest) return Fail(name + ": " + path + " is missing");
    if (digest->Sha256 != expected.Sha256)
      return Fail(name + ": " + path + " does not match its sha256");
    if (digest->Size != *expected.Size) return Fail(name + ": " + path + " does not have its size");
    ++FFiles;
    Deltas(module, key, bare, *digest, engine::ReadDeltaOffer(fields.FieldList()));
  }

  // The compressed copy and the patches the entry offers for the file.
  void Deltas(const std::string& module, const std::string& key, const std::string& bare,
              const engine::TFileDigest& file, const engine::TDeltaOffer& offer) {
    const std::string name = "[" + module + "] " + key + ": ";
    if (offer.CompressedCopy) {
      const std::string path = engine::CompressedCopyPath(bare, file.Sha256);
      if (Checked(path) || (Present(name + "the compressed copy ", path) &&
                            Rebuilds(name + "the compressed copy ", path, "", file)))
        ++FCopies;
    }
    for (const std::string& base : offer.PatchBases) {
      const std::string path = engine::PatchPath(bare, base, file.Sha256);
      const std::string what = name + "the patch from " + base + " ";
      if (Checked(path)) {
        ++FPatches;
        continue;
      }
      if (!Present(what, path)) continue;
      const auto version = FArchive ? FArchive->VersionWithPrefix(module, key, base) : std::nullopt;
      if (!version) {
        FOut << "NOT CHECKED: " << what << FTree.Component(path) << ": "
             << (FArchive ? "no archived release holds that version of the file"
                          : "no archive given (--archive)")
             << "\n";
        ++FUnchecked;
      } else if (Rebuilds(what, path, version->Path, file)) {
        ++FPatches;
      }
    }
  }

  // Whether sign made the file below download/ and rebuilt it already.
  bool Checked(const std::string& path) {
    FNamed.insert(path);
    return FCheckedDeltaFiles.count(path) > 0;
  }

  // Whether the file below download/ is on the server; named as missing when not.
  bool Present(const std::string& what, const std::string& path) {
    if (platform::FileExists(FTree.Component(path))) return true;
    Fail(what + FTree.Component(path) + " is missing");
    return false;
  }

  bool Rebuilds(const std::string& what, const std::string& path, const std::string& basePath,
                const engine::TFileDigest& file) {
    const std::string fault = RebuildFault(FTree.Component(path), basePath, file.Sha256, file.Size);
    if (fault.empty()) return true;
    Fail(what + FTree.Component(path) + " does not rebuild the file: " + fault);
    return false;
  }

  const TServerTree& FTree;
  std::ostream& FOut;
  int FFailures = 0;
  int FFiles = 0;
  uint64_t FRoot = 0;
  uint64_t FSerial = 0;
  std::optional<int64_t> FExpires;
  std::map<std::string, std::optional<engine::TFileDigest>> FDigests;
  std::set<std::string> FCheckedDeltaFiles;
  std::set<std::string> FNamed;  // delta files the entries name, below download/
  std::unique_ptr<TReleaseArchive> FArchive;
  int FCopies = 0, FPatches = 0, FUnchecked = 0;
};

// The tree's own catalogue and signatures; nothing when the catalogue is missing.
std::optional<TPendingCatalogue> Published(const TServerTree& tree, TVerification& verification) {
  if (!platform::FileExists(tree.Catalogue())) {
    verification.Fail(tree.Catalogue() + " is missing");
    return std::nullopt;
  }
  TPendingCatalogue published;
  published.Catalogue = platform::ReadWholeFile(tree.Catalogue());
  if (platform::FileExists(tree.Signature()))
    published.Signatures = platform::ReadWholeFile(tree.Signature());
  else
    verification.Fail(tree.Signature() + " is missing");
  return published;
}

}  // namespace

int Verify(const engine::TRoot& firstRoot, const std::string& serverRoot, std::ostream& out,
           const std::optional<TPendingCatalogue>& pending, const std::string& archive) {
  const TServerTree tree(serverRoot);
  TVerification verification(tree, out);
  if (pending) verification.Known(*pending);
  if (!archive.empty()) verification.Archive(archive);
  const std::optional<TPendingCatalogue> published =
      pending ? pending : Published(tree, verification);
  if (!published) return verification.Close();
  const std::optional<engine::TRoot> root = verification.Roots(firstRoot);
  // A missing signature file has been named already.
  if (root && (pending || platform::FileExists(tree.Signature())))
    verification.Signature(*root, *published);
  verification.Components(published->Catalogue);
  if (!pending) verification.Unnamed();
  return verification.Close();
}
