#include "Verify.h"

#include <map>
#include <optional>

#include "FileDigest.h"
#include "ServerTree.h"
#include "engine/Catalogue.h"
#include "engine/CatalogueRelease.h"
#include "engine/CatalogueSignature.h"
#include "engine/DownloadVerdict.h"
#include "platform/Files.h"
#include "platform/ProfileText.h"
#include "util/Base64.h"
#include "util/Ed25519.h"
#include "util/QuorvinSI.h"
#include "util/UtcTime.h"

namespace {

class TVerification {
 public:
  TVerification(const TServerTree& tree, std::ostream& out) : FTree(tree), FOut(out) {}

  void Signature(const std::string& publicKey) {
    try {
      const std::string catalogue = platform::ReadWholeFile(FTree.Catalogue());
      if (!platform::FileExists(FTree.Signature())) return Fail(FTree.Signature() + " is missing");
      CheckCatalogueSignature(catalogue, platform::ReadWholeFile(FTree.Signature()), publicKey);
      const TCatalogueRelease release = ReadCatalogueRelease(catalogue);
      CheckCatalogueRelease(release, 0, SystemUtcNow());
      FSerial = release.Serial;
      FExpires = release.Expires;
    } catch (const Exception& error) {
      Fail(error.Message());
    }
  }

  void Components() {
    TCatalogue catalogue(FTree.Catalogue());
    TStringList modules;
    catalogue.ReadModules(modules);
    for (int m = 0; m < modules.Count(); ++m) {
      if (IsReleaseSection(modules[m])) {
        Fail("a module is named \"" + modules[m] + "\", which is the name of the release section");
        continue;
      }
      TStringList components;
      catalogue.ReadComponents(modules[m], components);
      for (int c = 0; c < components.Count(); ++c)
        Component(modules[m], components[c], catalogue.Entry(modules[m], components[c]));
    }
  }

  int Close() {
    if (FFailures > 0) {
      FOut << FFailures << (FFailures == 1 ? " check" : " checks") << " failed\n";
      return 1;
    }
    FOut << "verified: signature, serial " << FSerial
         << (FExpires ? ", expires " + FormatUtcTime(*FExpires) : std::string(", no expiry"))
         << ", " << FFiles << " component " << (FFiles == 1 ? "file" : "files") << "\n";
    return 0;
  }

  void Fail(const std::string& what) {
    FOut << "FAIL: " << what << "\n";
    ++FFailures;
  }

 private:
  void Component(const std::string& module, const std::string& key, const std::string& entry) {
    const std::string name = "[" + module + "] " + key;
    const engine::TExpectedFile expected = engine::ExpectedFileOfEntry(entry, true);
    if (expected.Trust != engine::TExpectedFile::kLengthAndSha256)
      return Fail(name + ": no valid sha256 field");
    TQuorvinSI fields;
    fields.SetDelimiter(',');
    fields.SetSourceString(entry);
    const std::string bare =
        BareFileName(fields.FieldList().Count() > 1 ? fields.FieldList()[1] : std::string());
    if (bare.empty()) return Fail(name + ": the entry names no file");
    const std::string path = FTree.Component(bare);
    if (!FDigests.count(path)) FDigests[path] = Sha256OfFile(path);
    const std::optional<TSha256Digest>& digest = FDigests[path];
    if (!digest) return Fail(name + ": " + path + " is missing");
    if (*digest != expected.Sha256) return Fail(name + ": " + path + " does not match its sha256");
    ++FFiles;
  }

  const TServerTree& FTree;
  std::ostream& FOut;
  int FFailures = 0;
  int FFiles = 0;
  uint64_t FSerial = 0;
  std::optional<int64_t> FExpires;
  std::map<std::string, std::optional<TSha256Digest>> FDigests;
};

}  // namespace

int Verify(const std::string& publicKeyText, const std::string& serverRoot, std::ostream& out) {
  const TServerTree tree(serverRoot);
  TVerification verification(tree, out);
  const auto key = DecodeBase64(platform::TrimBlanks(publicKeyText));
  if (!key || key->size() != kEd25519PublicKeySize) {
    verification.Fail("PUBLIC_KEY is not the base64 text of a 32-byte Ed25519 public key");
    return verification.Close();
  }
  if (!platform::FileExists(tree.Catalogue())) {
    verification.Fail(tree.Catalogue() + " is missing");
    return verification.Close();
  }
  verification.Signature(*key);
  verification.Components();
  return verification.Close();
}
