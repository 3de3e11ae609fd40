#pragma once
// The text of profile (INI) files: decoding the bytes of a file, splitting it
// into lines and telling what each line is.  Both the reader and the writer
// of Profile.h use these, so they agree on every line.
//
// How a file is read:
// - Encoding: a UTF-8 byte-order mark is skipped; a UTF-16 mark (either byte
//   order) makes the file UTF-16.  Otherwise the bytes are UTF-8 when they
//   are well-formed UTF-8 throughout, else Windows-1252.  Either way the
//   text is converted to UTF-8.
// - Lines end at CR LF, at LF alone or at CR alone.  A NUL character ends the
//   text of its line: the rest of that line is ignored.
// - Blanks are the characters with a code of 32 or less; they are trimmed
//   from section names, keys and values.
// - "[name]" (blanks around it allowed) starts a section; the name is what
//   stands between "[" and the first "]", and text after the "]" is ignored.
//   A "[" line without "]" is no section line.
// - "key = value" is an entry: the key is what stands before the first "=",
//   the value everything after it.  Quotation marks are part of the value.
//   An entry with an empty key is ignored.
// - Lines starting with ";" or "#" are comments; they, blank lines and lines
//   without "=" are ignored by the reader and kept as they are by the writer.
#include <string>
#include <string_view>
#include <vector>

namespace platform {


// The lines of the text without their line ends.  A line end at the very end
// of the text adds no empty line.
std::vector<std::string_view> SplitProfileLines(std::string_view text);

struct ProfileLine {
  enum Kind { kOther, kSection, kEntry };
  Kind kind = kOther;
  std::string_view name;   // section name or key, trimmed, spelled as in the file
  std::string_view value;  // the entry's value, trimmed
};
ProfileLine ClassifyProfileLine(std::string_view line);

std::string_view TrimBlanks(std::string_view text);

}  // namespace platform
