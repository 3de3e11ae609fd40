#pragma once
// Text to integer conversion for version components and folder indexes.
//
// Accepted: optional leading spaces, an optional "+" or "-", then decimal
// digits (leading zeros allowed) or hexadecimal digits after "$", "x", "X",
// "0x" or "0X".  Nothing may follow the digits, not even a space, and the
// value must lie in the signed 32-bit range.  Anything else raises
// EConvertError "''%s'' is not a valid integer value" naming the whole text.
#include <cstdint>
#include <string>

int32_t StrToInt(const std::string& text);
