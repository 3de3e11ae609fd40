// Fuzz target: what a signed catalogue brings from the server, the
// signature file and the catalogue's [release] section and digest fields.
// Nothing may be accepted that the key did not sign; every refusal must be
// the program's own verification error.
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

// True when the signature file is accepted for the catalogue.
bool Accepted(std::string_view catalogue, std::string_view signatureFile) {
  try {
    CheckCatalogueSignature(catalogue, signatureFile, PublicKey());
    return true;
  } catch (const ECatalogueNotVerified&) {
    return false;
  }
}

std::string_view TrimWhiteSpace(std::string_view text) {
  constexpr std::string_view blanks = " \t\r\n\v\f";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

void CheckSignature(std::string_view catalogue, std::string_view signatureFile) {
  // Only a signature the key made over these very bytes may pass.
  if (Accepted(catalogue, signatureFile)) {
    const auto decoded = DecodeBase64(TrimWhiteSpace(signatureFile));
    if (!decoded || !VerifyEd25519(catalogue, *decoded, PublicKey()))
      Fail("a signature the key did not make was accepted");
  }
  // The vendor's own signature, one line with its line end, always passes.
  const std::string signature = EncodeBase64(SignEd25519(catalogue, Seed())) + "\r\n";
  if (!Accepted(catalogue, signature)) Fail("the key's own signature was refused");
}

void CheckRelease(std::string_view catalogue) {
  TCatalogueRelease release;
  try {
    release = ReadCatalogueRelease(catalogue);
  } catch (const ECatalogueNotVerified&) {
    return;
  }
  const int64_t now = release.Expires ? *release.Expires : 0;
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
