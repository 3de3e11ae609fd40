#include "util/Base64.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int kNotInAlphabet = -1;

constexpr std::array<int, 256> DecodingTable() {
  std::array<int, 256> table{};
  for (int& value : table) value = kNotInAlphabet;
  for (int index = 0; index < 64; ++index)
    table[static_cast<unsigned char>(kAlphabet[index])] = index;
  return table;
}
constexpr std::array<int, 256> kValueOf = DecodingTable();

}  // namespace

std::string EncodeBase64(std::string_view bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t at = 0; at < bytes.size(); at += 3) {
    const size_t taken = std::min<size_t>(3, bytes.size() - at);
    uint32_t group = 0;
    for (size_t i = 0; i < 3; ++i)
      group = group << 8 | (i < taken ? static_cast<unsigned char>(bytes[at + i]) : 0);
    for (size_t i = 0; i < 4; ++i) text += i <= taken ? kAlphabet[group >> (18 - 6 * i) & 63] : '=';
  }
  return text;
}

std::optional<std::string> DecodeBase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string bytes;
  bytes.reserve(text.size() / 4 * 3);
  for (size_t at = 0; at < text.size(); at += 4) {
    const bool last = at + 4 == text.size();
    // "xx==" carries one byte, "xxx=" two, "xxxx" three; padding only at the end.
    const size_t padding = !last ? 0 : text[at + 3] != '=' ? 0 : text[at + 2] != '=' ? 1 : 2;
    uint32_t group = 0;
    for (size_t i = 0; i < 4 - padding; ++i) {
      const int value = kValueOf[static_cast<unsigned char>(text[at + i])];
      if (value == kNotInAlphabet) return std::nullopt;
      group |= static_cast<uint32_t>(value) << (18 - 6 * i);
    }
    // The bits after the last whole byte must be zero: one text per byte string.
    if ((padding == 1 && (group & 0xff) != 0) || (padding == 2 && (group & 0xffff) != 0))
      return std::nullopt;
    for (size_t i = 0; i < 3 - padding; ++i)
      bytes += static_cast<char>(group >> (16 - 8 * i) & 0xff);
  }
  return bytes;
}
