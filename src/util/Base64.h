#pragma once
// Base64 text (the standard alphabet with "=" padding) of keys and
// signatures, in the form other tools write and read.
#include <optional>
#include <string>
#include <string_view>

std::string EncodeBase64(std::string_view bytes);

// The bytes of a base64 text, or nothing when the text is not exactly one
// canonical base64 text: no blanks or line breaks inside or around it,
// padding present and right, no stray bits in the last character.
std::optional<std::string> DecodeBase64(std::string_view text);
