#include "util/Ed25519.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <memory>
#include <new>

#include "util/Errors.h"

namespace {

const unsigned char* Bytes(std::string_view text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

struct TFreeKey {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct TFreeSigningContext {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using TKey = std::unique_ptr<EVP_PKEY, TFreeKey>;
using TSigningContext = std::unique_ptr<EVP_MD_CTX, TFreeSigningContext>;

[[noreturn]] void CryptoFailed() {
  throw Exception("The cryptography library could not compute an Ed25519 signature.");
}

// The key of a seed.  The library keeps its own copy of the seed, which it
// wipes when the key is freed.
TKey SecretKey(std::string_view seed) {
  if (seed.size() != kEd25519SeedSize) throw Exception("An Ed25519 seed is 32 bytes.");
  TKey key(EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, Bytes(seed), seed.size()));
  if (!key) CryptoFailed();
  return key;
}

TSigningContext NewSigningContext() {
  TSigningContext context(EVP_MD_CTX_new());
  if (!context) throw std::bad_alloc();
  return context;
}

}  // namespace

std::string NewEd25519Seed() {
  std::string seed(kEd25519SeedSize, '\0');
  if (RAND_priv_bytes(reinterpret_cast<unsigned char*>(seed.data()),
                      static_cast<int>(seed.size())) != 1)
    throw Exception("The system gave no random numbers for a new key.");
  return seed;
}

std::string Ed25519PublicKey(std::string_view seed) {
  const TKey key = SecretKey(seed);
  std::string publicKey(kEd25519PublicKeySize, '\0');
  size_t length = publicKey.size();
  if (EVP_PKEY_get_raw_public_key(key.get(), reinterpret_cast<unsigned char*>(publicKey.data()),
                                  &length) != 1 ||
      length != kEd25519PublicKeySize)
    CryptoFailed();
  return publicKey;
}

std::string SignEd25519(std::string_view message, std::string_view seed) {
  const TKey key = SecretKey(seed);
  const TSigningContext context = NewSigningContext();
  std::string signature(kEd25519SignatureSize, '\0');
  size_t length = signature.size();
  // Ed25519 hashes the message itself: no digest is named.
  if (EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1 ||
      EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                     Bytes(message), message.size()) != 1 ||
      length != kEd25519SignatureSize)
    CryptoFailed();
  return signature;
}

bool VerifyEd25519(std::string_view message, std::string_view signature,
                   std::string_view publicKey) {
  if (signature.size() != kEd25519SignatureSize || publicKey.size() != kEd25519PublicKeySize)
    return false;
  const TKey key(
      EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, Bytes(publicKey), publicKey.size()));
  if (!key) {  // not a point of the curve
    ERR_clear_error();
    return false;
  }
  const TSigningContext context = NewSigningContext();
  const bool verified =
      EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
      EVP_DigestVerify(context.get(), Bytes(signature), signature.size(), Bytes(message),
                       message.size()) == 1;
  // A refused signature is an answer, not an error: nothing stays queued
  // for a later call to trip over.
  if (!verified) ERR_clear_error();
  return verified;
}
