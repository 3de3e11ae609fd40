// Fuzz target: what a signed catalogue brings from the server, the
// signature file and the catalogue's [release] section and digest fields.
// Nothing may be accepted that too few different keys signed; every refusal
// must be the program's own verification error.
//
// Input: the catalogue's bytes, the line "####", the signature file's bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

#include "engine/CatalogueRelease.h"
#include "engine/CatalogueSignature.h"
#include "engine/ComponentDigest.h"
#include "engine/SignatureLines.h"
#include "engine/TrustRoot.h"
#include "util/Base64.h"
#include "util/Ed25519.h"
#include "util/QuorvinSI.h"

namespace {

constexpr std::string_view kPartSeparator = "\n####\n";

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "signed_catalogue: %s\n", what.c_str());
  std::abort();
}

const std::string& Seed() {
  static const std::string seed(kEd25519SeedSize, '\x42');
  return seed;
}

const std::string& PublicKey() {
  static const std::string key = Ed25519PublicKey(Seed());
  return key;
}

// The catalogue keys of a one-key root, and of a root of two keys of which
// both must sign.
const engine::TKeyRole& OneKey() {
  static const engine::TKeyRole role = engine::OneKeyRoot(PublicKey()).CatalogueKeys;
  return role;
}

const std::string& OtherSeed() {
  static const std::string seed(kEd25519SeedSize, '\x43');
  return seed;
}

const engine::TKeyRole& TwoKeys() {
  static const engine::TKeyRole role = [] {
    engine::TKeyRole keys;
    keys.Add({"one", PublicKey()});
    keys.Add({"two", Ed25519PublicKey(OtherSeed())});
    keys.Threshold = 2;
    return keys;
  }();
  return role;
}

// True when the signature file is accepted for the catalogue.
bool Accepted(std::string_view catalogue, std::string_view signatureFile,
              const engine::TKeyRole& keys) {
  try {
    CheckCatalogueSignature(catalogue, signatureFile, keys);
    return true;
  } catch (const ECatalogueNotVerified&) {
    return false;
  }
}

// The number of different keys of the role whose own signature over these
// very bytes is a line of the file.
int GenuineSigners(std::string_view catalogue, std::string_view signatureFile,
                   const engine::TKeyRole& keys) {
  int signers = 0;
  for (const engine::TLabelledKey& key : keys.Keys) {
    bool found = false;
    std::string_view rest = signatureFile;
    while (!rest.empty() && !found) {
      const size_t end = rest.find_first_of("\r\n");
      std::string_view line = rest.substr(0, end);
      rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
      while (!line.empty() && static_cast<unsigned char>(line.back()) <= ' ') line.remove_suffix(1);
      while (!line.empty() && static_cast<unsigned char>(line.front()) <= ' ')
        line.remove_prefix(1);
      const size_t blank = line.find_last_of(" \t");
      const auto decoded =
          DecodeBase64(blank == std::string_view::npos ? line : line.substr(blank + 1));
      found = decoded && VerifyEd25519(catalogue, *decoded, key.Key);
    }
    signers += found;
  }
  return signers;
}

void CheckSignature(std::string_view catalogue, std::string_view signatureFile) {
  // Only signatures the keys made over these very bytes may pass, and no
  // key counts twice.
  for (const engine::TKeyRole* keys : {&OneKey(), &TwoKeys()})
    if (Accepted(catalogue, signatureFile, *keys) &&
        GenuineSigners(catalogue, signatureFile, *keys) < keys->Threshold)
      Fail("a catalogue was accepted that too few of the keys signed");
  // The vendor's own signatures, one bare line or one named line per key,
  // always pass.
  const std::string signature = EncodeBase64(SignEd25519(catalogue, Seed())) + "\r\n";
  if (!Accepted(catalogue, signature, OneKey())) Fail("the key's own signature was refused");
  const std::string both = engine::NamedSignatureLine(PublicKey(), SignEd25519(catalogue, Seed())) +
                           engine::NamedSignatureLine(Ed25519PublicKey(OtherSeed()),
                                                      SignEd25519(catalogue, OtherSeed()));
  if (!Accepted(catalogue, both, TwoKeys())) Fail("the two keys' own signatures were refused");
}

void CheckRelease(std::string_view catalogue) {
  TCatalogueRelease release;
  try {
    release = ReadCatalogueRelease(catalogue);
  } catch (const ECatalogueNotVerified&) {
    return;
  }
  // A catalogue without an expiry is never accepted.
  if (!release.Expires) {
    try {
      CheckCatalogueRelease(release, 0, 0);
    } catch (const ECatalogueNotVerified&) {
      return;
    }
    Fail("a catalogue without an expiry was accepted");
  }
  const int64_t now = *release.Expires;
  // The same serial is accepted again, up to the moment of expiry.
  CheckCatalogueRelease(release, release.Serial, now);
  if (release.Serial == std::numeric_limits<uint64_t>::max()) return;
  try {
    CheckCatalogueRelease(release, release.Serial + 1, now);
  } catch (const ECatalogueNotVerified&) {
    return;
  }
  Fail("an older serial was accepted");
}

// Every "key=value" line read as a catalogue entry: a digest that is
// accepted is one field of the entry, exactly as the vendor's tool writes it.
void CheckDigestFields(std::string_view catalogue) {
  TQuorvinSI fields;
  fields.SetDelimiter(',');
  while (!catalogue.empty()) {
    const size_t end = catalogue.find('\n');
    const std::string_view line = catalogue.substr(0, end);
    catalogue.remove_prefix(end == std::string_view::npos ? catalogue.size() : end + 1);
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    fields.SetSourceString(std::string(line.substr(equals + 1)));
    const engine::TDigestClaim claim = engine::ReadDigestClaim(fields.FieldList());
    if (claim.Kind != engine::TDigestClaim::kSha256) continue;
    const std::string written = engine::Sha256Field(claim.Sha256);
    if (std::string(line).find(written) == std::string::npos)
      Fail("accepted digest is not in the entry: " + written);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find(kPartSeparator);
  const std::string_view catalogue = input.substr(0, split);
  const std::string_view signatureFile = split == std::string_view::npos
                                             ? std::string_view()
                                             : input.substr(split + kPartSeparator.size());
  CheckSignature(catalogue, signatureFile);
  CheckRelease(catalogue);
  CheckDigestFields(catalogue);
  return 0;
}
