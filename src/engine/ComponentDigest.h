#pragma once
// The digest a catalogue entry may carry for its component's file.
//
// An entry is split at commas: field 0 the version, field 1 the file, and
// from field 2 on anything, which the updater ignores, with one exception:
// a digest field.  With the blanks around it dropped, a field is a digest
// field when it starts with "sha" (in any letter case), then a digit, "-" or
// "_", then letters, digits, "-" or "_" up to an "=": "sha256=...",
// "SHA256=...", "sha512=...", "sha-1=...", "sha3-256=...".  Every other field
// ("x", "beta=1", "shadow=1") stays ignored, so catalogues without digests
// read exactly as before.
//
// The entry names a digest when it has exactly one digest field and that
// field is "sha256=" followed by exactly 64 lower-case hexadecimal digits.
// Any other digest field (a name other than "sha256" in lower case, digits
// of another count or case) or a second digest field makes the claim
// malformed: the file then cannot be checked and is never staged.
#include <string>
#include <string_view>

#include "util/Sha256.h"
#include "util/StringList.h"

namespace engine {

inline constexpr const char* kSha256FieldName = "sha256=";

struct TDigestClaim {
  enum TKind { kNone, kSha256, kMalformed };
  TKind Kind = kNone;
  TSha256Digest Sha256{};  // when Kind is kSha256
};

// The claim of an entry's fields (the entry split at commas).
TDigestClaim ReadDigestClaim(const TStringList& entryFields);

bool IsDigestField(std::string_view field);
// "sha256=" and the digest's 64 digits.
std::string Sha256Field(const TSha256Digest& digest);

}  // namespace engine
