#pragma once
// Text helpers of the platform layer: UTF-8 checks, the Windows-1252 code
// page that older text files arrive in, character counting, and the letter
// case folding used wherever names are compared without regard to case.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// True when the bytes are well-formed UTF-8 (no overlongs, no surrogates).
bool IsValidUtf8(std::string_view text);

// Converts Windows-1252 bytes to UTF-8.  The five byte values that code page
// leaves undefined map to the C1 control characters of the same number.
std::string Cp1252ToUtf8(std::string_view text);

// Converts UTF-16 bytes of the given byte order to UTF-8; an unpaired
// surrogate or an odd last byte becomes U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian);

// Decodes the bytes of a text file to UTF-8: a UTF-8 or UTF-16 byte-order
// mark decides where there is one, else valid UTF-8 stays as it is and
// anything else is read as Windows-1252.  byteOrderMark tells whether the
// file began with a mark.
std::string DecodeTextBytes(std::string_view bytes, bool& byteOrderMark);

// Appends one character, given by its code point, in UTF-8.
void AppendUtf8(std::string& out, uint32_t codePoint);

// Number of characters in a UTF-8 text, counting each character outside the
// basic plane twice, as a UTF-16 string would hold it.
size_t Utf16Length(std::string_view text);
// The longest prefix of a UTF-8 text holding at most maxUnits UTF-16 units;
// a character is never cut in half.
std::string_view Utf16Prefix(std::string_view text, size_t maxUnits);

// Folds letter case so that names differing only in case compare equal:
// ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic capitals become small
// letters.  Bytes that are not well-formed UTF-8 are kept as they are.
std::string FoldCase(std::string_view text);
bool SameTextIgnoringCase(std::string_view a, std::string_view b);

}  // namespace platform
