#include "util/Ed25519.h"

#include <sodium.h>

#include "util/Errors.h"
#include "util/Sodium.h"

namespace {

const unsigned char* Bytes(std::string_view text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

// The key pair of a seed; libsodium's secret key is the seed followed by the
// public key.  Wiped when it goes.
struct TKeyPair {
  explicit TKeyPair(std::string_view seed) {
    if (seed.size() != crypto_sign_SEEDBYTES) throw Exception("An Ed25519 seed is 32 bytes.");
    InitSodium();
    crypto_sign_seed_keypair(PublicKey, SecretKey, Bytes(seed));
  }
  ~TKeyPair() { sodium_memzero(SecretKey, sizeof SecretKey); }
  TKeyPair(const TKeyPair&) = delete;
  TKeyPair& operator=(const TKeyPair&) = delete;

  unsigned char PublicKey[crypto_sign_PUBLICKEYBYTES];
  unsigned char SecretKey[crypto_sign_SECRETKEYBYTES];
};

}  // namespace

std::string NewEd25519Seed() {
  InitSodium();
  std::string seed(crypto_sign_SEEDBYTES, '\0');
  randombytes_buf(seed.data(), seed.size());
  return seed;
}

std::string Ed25519PublicKey(std::string_view seed) {
  const TKeyPair keys(seed);
  return std::string(reinterpret_cast<const char*>(keys.PublicKey), sizeof keys.PublicKey);
}

std::string SignEd25519(std::string_view message, std::string_view seed) {
  const TKeyPair keys(seed);
  std::string signature(crypto_sign_BYTES, '\0');
  crypto_sign_detached(reinterpret_cast<unsigned char*>(signature.data()), nullptr, Bytes(message),
                       message.size(), keys.SecretKey);
  return signature;
}

bool VerifyEd25519(std::string_view message, std::string_view signature,
                   std::string_view publicKey) {
  if (signature.size() != crypto_sign_BYTES || publicKey.size() != crypto_sign_PUBLICKEYBYTES)
    return false;
  InitSodium();
  return crypto_sign_verify_detached(Bytes(signature), Bytes(message), message.size(),
                                     Bytes(publicKey)) == 0;
}
