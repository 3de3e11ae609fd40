#include "Verify.h"

#include <map>

#include "Roots.h"
#include "ServerTree.h"
#include "engine/Catalogue.h"
#include "engine/CatalogueRelease.h"
#include "engine/CatalogueSignature.h"
#include "engine/DownloadVerdict.h"
#include "engine/FileDigest.h"
#include "engine/RootChain.h"
#include "platform/Files.h"
#include "util/QuorvinSI.h"
#include "util/UtcTime.h"

namespace {

class TVerification {
 public:
  TVerification(const TServerTree& tree, std::ostream& out) : FTree(tree), FOut(out) {}

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

  int Close() {
    if (FFailures > 0) {
      FOut << FFailures << (FFailures == 1 ? " check" : " checks") << " failed\n";
      return 1;
    }
    FOut << "verified: signature, serial " << FSerial << ", expires " << FormatUtcTime(*FExpires)
         << ", " << FFiles << " component " << (FFiles == 1 ? "file" : "files") << ", under "
         << engine::RootName(FRoot) << "\n";
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
  }

  const TServerTree& FTree;
  std::ostream& FOut;
  int FFailures = 0;
  int FFiles = 0;
  uint64_t FRoot = 0;
  uint64_t FSerial = 0;
  std::optional<int64_t> FExpires;
  std::map<std::string, std::optional<engine::TFileDigest>> FDigests;
};

// The tree's own catalogue and signatures; nothing when the catalogue is missing.
std::optional<TPendingCatalogue> Published(const TServerTree& tree, TVerification& verification) {
  if (!platform::FileExists(tree.Catalogue())) {
    verification.Fail(tree.Catalogue() + " is missing");
    return std::nullopt;
  }
  TPendingCatalogue published{platform::ReadWholeFile(tree.Catalogue()), ""};
  if (platform::FileExists(tree.Signature()))
    published.Signatures = platform::ReadWholeFile(tree.Signature());
  else
    verification.Fail(tree.Signature() + " is missing");
  return published;
}

}  // namespace

int Verify(const engine::TRoot& firstRoot, const std::string& serverRoot, std::ostream& out,
           const std::optional<TPendingCatalogue>& pending) {
  const TServerTree tree(serverRoot);
  TVerification verification(tree, out);
  const std::optional<TPendingCatalogue> published =
      pending ? pending : Published(tree, verification);
  if (!published) return verification.Close();
  const std::optional<engine::TRoot> root = verification.Roots(firstRoot);
  // A missing signature file has been named already.
  if (root && (pending || platform::FileExists(tree.Signature())))
    verification.Signature(*root, *published);
  verification.Components(published->Catalogue);
  return verification.Close();
}
