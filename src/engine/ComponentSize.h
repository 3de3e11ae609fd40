#pragma once
// The size a catalogue entry may carry for its component's file, beside its
// digest (ComponentDigest.h): "size=" and the number of bytes in decimal,
// in any field from field 2 on.
//
// With the blanks around it dropped, a field is a size field when its name,
// the text before the first "=", is "size" in any letter case.  The entry
// names a size when it has exactly one size field and that field is "size="
// followed by 1 to 19 decimal digits no larger than 9223372036854775807.
// Any other size field, or a second one, makes the claim malformed: the
// file then cannot be checked and is never staged.
#include <cstdint>
#include <string>
#include <string_view>

#include "util/StringList.h"

namespace engine {

inline constexpr const char* kSizeFieldName = "size=";

struct TSizeClaim {
  enum TKind { kNone, kSize, kMalformed };
  TKind Kind = kNone;
  int64_t Size = 0;  // when Kind is kSize
};

// The claim of an entry's fields (the entry split at commas).
TSizeClaim ReadSizeClaim(const TStringList& entryFields);

bool IsSizeField(std::string_view field);
// "size=" and the number.
std::string SizeField(int64_t size);

}  // namespace engine
