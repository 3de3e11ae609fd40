#pragma once
// A fixed Ed25519 key pair for tests, and the signature files it makes.
#include <string>

#include "util/Base64.h"
#include "util/Ed25519.h"
#include "util/Sha256.h"

inline const std::string kTestSeed(32, '\x2a');
inline const std::string kTestPublicKey = EncodeBase64(Ed25519PublicKey(kTestSeed));

// The text of allfiles.ini.sig for the catalogue's bytes.
inline std::string SignatureFile(const std::string& catalogue) {
  return EncodeBase64(SignEd25519(catalogue, kTestSeed)) + "\n";
}

// The catalogue field that vouches for a file's content.
inline std::string Sha256FieldOf(const std::string& content) {
  return "sha256=" + DigestHex(Sha256(content));
}
