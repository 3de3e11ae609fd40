#include "Keygen.h"

#include "KeyFiles.h"
#include "util/Base64.h"
#include "util/Ed25519.h"

int Keygen(const std::string& secretKeyFile, std::ostream& out) {
  const std::string seed = NewEd25519Seed();
  WriteNewSecretKey(secretKeyFile, seed);
  out << EncodeBase64(Ed25519PublicKey(seed)) << "\n";
  return 0;
}
