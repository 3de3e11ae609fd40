#include "engine/ComponentDigest.h"

#include <cctype>

#include "platform/ProfileText.h"

namespace engine {

namespace {

constexpr int kFirstOptionalField = 2;  // after the version and the file

bool IsNameCharacter(char ch) {
  return std::isalnum(static_cast<unsigned char>(ch)) || ch == '-' || ch == '_';
}

}  // namespace

bool IsDigestField(std::string_view field) {
  field = platform::TrimBlanks(field);
  if (field.size() < 4 || std::tolower(static_cast<unsigned char>(field[0])) != 's' ||
      std::tolower(static_cast<unsigned char>(field[1])) != 'h' ||
      std::tolower(static_cast<unsigned char>(field[2])) != 'a')
    return false;
  // "sha" and a digit or separator: "sha256", "sha-1", "sha3-256", not "shadow".
  if (!std::isdigit(static_cast<unsigned char>(field[3])) && field[3] != '-' && field[3] != '_')
    return false;
  for (size_t i = 4; i < field.size(); ++i) {
    if (field[i] == '=') return true;
    if (!IsNameCharacter(field[i])) return false;
  }
  return false;
}

TDigestClaim ReadDigestClaim(const TStringList& entryFields) {
  TDigestClaim claim;
  for (int index = kFirstOptionalField; index < entryFields.Count(); ++index) {
    const std::string_view field = platform::TrimBlanks(entryFields[index]);
    if (!IsDigestField(field)) continue;
    if (claim.Kind != TDigestClaim::kNone) return {TDigestClaim::kMalformed, {}};
    const std::string_view name(kSha256FieldName);
    const auto digest = field.substr(0, name.size()) == name
                            ? DigestFromHex(field.substr(name.size()))
                            : std::nullopt;
    if (!digest) return {TDigestClaim::kMalformed, {}};
    claim = {TDigestClaim::kSha256, *digest};
  }
  return claim;
}

std::string Sha256Field(const TSha256Digest& digest) {
  return kSha256FieldName + DigestHex(digest);
}

}  // namespace engine
