#pragma once
// Fixed Ed25519 key pairs for tests, and the signature files and roots they
// make.
#include <string>
#include <vector>

#include "engine/SignatureLines.h"
#include "engine/TrustRoot.h"
#include "util/Base64.h"
#include "util/Ed25519.h"
#include "util/Sha256.h"

inline const std::string kTestSeed(32, '\x2a');
inline const std::string kTestPublicKey = EncodeBase64(Ed25519PublicKey(kTestSeed));

// The text of allfiles.ini.sig for the catalogue's bytes: one bare line.
inline std::string SignatureFile(const std::string& catalogue) {
  return EncodeBase64(SignEd25519(catalogue, kTestSeed)) + "\n";
}

// The catalogue field that vouches for a file's content.
inline std::string Sha256FieldOf(const std::string& content) {
  return "sha256=" + DigestHex(Sha256(content));
}
// Both signed fields of a file's content: ",sha256=...,size=N".
inline std::string SignedFieldsOf(const std::string& content) {
  return "," + Sha256FieldOf(content) + ",size=" + std::to_string(content.size());
}

// A key pair of its own for each letter: TestKey('a'), TestKey('b'), ...
struct TTestKey {
  std::string Seed;
  std::string Public() const { return Ed25519PublicKey(Seed); }
  std::string Text() const { return EncodeBase64(Public()); }
  engine::TLabelledKey Labelled() const { return {std::string("key-") + Seed[0], Public()}; }
};
inline TTestKey TestKey(char letter) { return {std::string(32, letter)}; }

// A signature file with one line per key, each naming its key.
inline std::string SignedBy(const std::string& text, const std::vector<TTestKey>& keys) {
  std::string file;
  for (const TTestKey& key : keys)
    file += engine::NamedSignatureLine(key.Public(), SignEd25519(text, key.Seed));
  return file;
}

// A root of the given keys and thresholds.
struct TTestRoot {
  uint64_t Version = 1;
  std::vector<TTestKey> RootKeys;
  int RootThreshold = 1;
  std::vector<TTestKey> CatalogueKeys;
  int CatalogueThreshold = 1;
  uint64_t SerialFloor = 0;
  std::optional<int64_t> Expires = std::nullopt;

  std::string Text() const {
    engine::TRoot root;
    root.Version = Version;
    for (const TTestKey& key : RootKeys) root.RootKeys.Add(key.Labelled());
    for (const TTestKey& key : CatalogueKeys) root.CatalogueKeys.Add(key.Labelled());
    root.RootKeys.Threshold = RootThreshold;
    root.CatalogueKeys.Threshold = CatalogueThreshold;
    root.SerialFloor = SerialFloor;
    root.Expires = Expires;
    return engine::RootText(root);
  }
};
