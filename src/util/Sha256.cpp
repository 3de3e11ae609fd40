#include "util/Sha256.h"

#include "util/Sodium.h"

TSha256Hasher::TSha256Hasher() {
  InitSodium();
  crypto_hash_sha256_init(&FState);
}

void TSha256Hasher::Update(const void* data, size_t size) {
  if (size > 0) crypto_hash_sha256_update(&FState, static_cast<const unsigned char*>(data), size);
}

TSha256Digest TSha256Hasher::Final() {
  TSha256Digest digest;
  crypto_hash_sha256_final(&FState, digest.data());
  crypto_hash_sha256_init(&FState);
  return digest;
}

TSha256Digest Sha256(std::string_view bytes) {
  TSha256Hasher hasher;
  hasher.Update(bytes.data(), bytes.size());
  return hasher.Final();
}

namespace {
constexpr char kHexDigits[] = "0123456789abcdef";
}

std::string DigestHex(const TSha256Digest& digest) {
  std::string hex;
  hex.reserve(digest.size() * 2);
  for (const uint8_t byte : digest) {
    hex += kHexDigits[byte >> 4];
    hex += kHexDigits[byte & 15];
  }
  return hex;
}

std::optional<TSha256Digest> DigestFromHex(std::string_view hex) {
  TSha256Digest digest;
  if (hex.size() != digest.size() * 2) return std::nullopt;
  const auto nibble = [](char digit) -> int {
    if (digit >= '0' && digit <= '9') return digit - '0';
    if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
    return -1;
  };
  for (size_t i = 0; i < digest.size(); ++i) {
    const int high = nibble(hex[2 * i]), low = nibble(hex[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    digest[i] = static_cast<uint8_t>(high << 4 | low);
  }
  return digest;
}
