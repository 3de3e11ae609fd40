#include "util/Base64.h"

#include <sodium.h>

#include "util/Sodium.h"

std::string EncodeBase64(std::string_view bytes) {
  InitSodium();
  constexpr int variant = sodium_base64_VARIANT_ORIGINAL;
  std::string text(sodium_base64_ENCODED_LEN(bytes.size(), variant), '\0');
  sodium_bin2base64(text.data(), text.size(), reinterpret_cast<const unsigned char*>(bytes.data()),
                    bytes.size(), variant);
  text.resize(text.size() - 1);  // the terminating NUL
  return text;
}

std::optional<std::string> DecodeBase64(std::string_view text) {
  InitSodium();
  std::string bytes(text.size() / 4 * 3 + 3, '\0');
  size_t length = 0;
  const char* end = nullptr;
  const int result =
      sodium_base642bin(reinterpret_cast<unsigned char*>(bytes.data()), bytes.size(), text.data(),
                        text.size(), nullptr, &length, &end, sodium_base64_VARIANT_ORIGINAL);
  // The library stops at the first character it does not take; anything
  // left over means the text was not base64 through to its end.
  if (result != 0 || end != text.data() + text.size()) return std::nullopt;
  bytes.resize(length);
  return bytes;
}
