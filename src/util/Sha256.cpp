#include "util/Sha256.h"

#include <openssl/evp.h>

#include <new>

#include "util/Errors.h"

namespace {

[[noreturn]] void CryptoFailed() {
  throw Exception("The cryptography library could not compute a SHA-256 digest.");
}

void Start(EVP_MD_CTX* context) {
  if (EVP_DigestInit_ex(context, EVP_sha256(), nullptr) != 1) CryptoFailed();
}

}  // namespace

void TSha256Hasher::TFreeContext::operator()(evp_md_ctx_st* context) const {
  EVP_MD_CTX_free(context);
}

TSha256Hasher::TSha256Hasher() : FContext(EVP_MD_CTX_new()) {
  if (!FContext) throw std::bad_alloc();
  Start(FContext.get());
}

TSha256Hasher::~TSha256Hasher() = default;
TSha256Hasher::TSha256Hasher(TSha256Hasher&&) noexcept = default;
TSha256Hasher& TSha256Hasher::operator=(TSha256Hasher&&) noexcept = default;

void TSha256Hasher::Update(const void* data, size_t size) {
  if (size > 0 && EVP_DigestUpdate(FContext.get(), data, size) != 1) CryptoFailed();
}

TSha256Digest TSha256Hasher::Final() {
  TSha256Digest digest;
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(FContext.get(), digest.data(), &length) != 1 || length != digest.size())
    CryptoFailed();
  Start(FContext.get());
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
