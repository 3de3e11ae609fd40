#pragma once
// SHA-256 of a stream of bytes, fed block by block as they arrive, so a file
// is hashed while it downloads and never needs to be read again.
#include <sodium.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

using TSha256Digest = std::array<uint8_t, 32>;

class TSha256Hasher {
 public:
  TSha256Hasher();
  void Update(const void* data, size_t size);
  // The digest of everything fed so far; the hasher starts over afterwards.
  TSha256Digest Final();

 private:
  crypto_hash_sha256_state FState;
};

TSha256Digest Sha256(std::string_view bytes);

// 64 lower-case hexadecimal digits.
std::string DigestHex(const TSha256Digest& digest);
// The digest written as exactly 64 lower-case hexadecimal digits; nothing
// for any other text (upper-case digits included: one spelling per digest).
std::optional<TSha256Digest> DigestFromHex(std::string_view hex);
