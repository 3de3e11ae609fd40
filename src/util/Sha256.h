#pragma once
// SHA-256 of a stream of bytes, fed block by block as they arrive, so a file
// is hashed while it downloads and never needs to be read again.  Everything
// the program and its tools hash goes through this one wrapper, over
// OpenSSL's libcrypto, which uses the processor's SHA extensions where it
// has them.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

using TSha256Digest = std::array<uint8_t, 32>;

struct evp_md_ctx_st;  // OpenSSL's EVP_MD_CTX

class TSha256Hasher {
 public:
  TSha256Hasher();
  ~TSha256Hasher();
  TSha256Hasher(TSha256Hasher&&) noexcept;
  TSha256Hasher& operator=(TSha256Hasher&&) noexcept;

  void Update(const void* data, size_t size);
  // The digest of everything fed so far; the hasher starts over afterwards.
  TSha256Digest Final();

 private:
  struct TFreeContext {
    void operator()(evp_md_ctx_st* context) const;
  };
  std::unique_ptr<evp_md_ctx_st, TFreeContext> FContext;
};

TSha256Digest Sha256(std::string_view bytes);

// 64 lower-case hexadecimal digits.
std::string DigestHex(const TSha256Digest& digest);
// The digest written as exactly 64 lower-case hexadecimal digits; nothing
// for any other text (upper-case digits included: one spelling per digest).
std::optional<TSha256Digest> DigestFromHex(std::string_view hex);
