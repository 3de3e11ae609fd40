#include "util/StrToInt.h"

#include "util/Errors.h"

namespace {

int DigitValue(char ch, int base) {
  int value;
  if (ch >= '0' && ch <= '9') {
    value = ch - '0';
  } else if (ch >= 'a' && ch <= 'f') {
    value = ch - 'a' + 10;
  } else if (ch >= 'A' && ch <= 'F') {
    value = ch - 'A' + 10;
  } else {
    return -1;
  }
  return value < base ? value : -1;
}

// Length of the hexadecimal prefix at pos ("$", "x", "X", "0x", "0X"), or 0.
size_t HexPrefixLength(const std::string& text, size_t pos) {
  if (pos >= text.size()) return 0;
  const char first = text[pos];
  if (first == '$' || first == 'x' || first == 'X') return 1;
  if (first == '0' && pos + 1 < text.size() && (text[pos + 1] == 'x' || text[pos + 1] == 'X'))
    return 2;
  return 0;
}

}  // namespace

int32_t StrToInt(const std::string& text) {
  size_t pos = 0;
  while (pos < text.size() && text[pos] == ' ') ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
  const size_t prefix = HexPrefixLength(text, pos);
  const int base = prefix > 0 ? 16 : 10;
  pos += prefix;
  if (pos >= text.size()) RaiseConvertError(text);

  // The magnitude may reach 2^31 only for a negative value.
  const int64_t limit = negative ? int64_t{1} << 31 : (int64_t{1} << 31) - 1;
  int64_t magnitude = 0;
  for (; pos < text.size(); ++pos) {
    const int digit = DigitValue(text[pos], base);
    if (digit < 0) RaiseConvertError(text);
    magnitude = magnitude * base + digit;
    if (magnitude > limit) RaiseConvertError(text);
  }
  return static_cast<int32_t>(negative ? -magnitude : magnitude);
}
