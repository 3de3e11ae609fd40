#include "engine/DeltaOffer.h"

#include <algorithm>

#include "engine/Catalogue.h"
#include "platform/ProfileText.h"

namespace engine {

namespace {

bool IsLowerHexDigit(char ch) { return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f'); }

}  // namespace

bool IsDigestPrefix(std::string_view text) {
  return text.size() == kDigestPrefixLength &&
         std::all_of(text.begin(), text.end(), IsLowerHexDigit);
}

bool TDeltaOffer::HasPatchFrom(const TSha256Digest& base) const {
  return std::find(PatchBases.begin(), PatchBases.end(), DigestPrefix(base)) != PatchBases.end();
}

TDeltaOffer ReadDeltaOffer(const TStringList& entryFields) {
  TDeltaOffer offer;
  const std::string_view patchName(kPatchFieldName);
  for (int index = kEntryComponentFile + 1; index < entryFields.Count(); ++index) {
    const std::string_view field = platform::TrimBlanks(entryFields[index]);
    if (field == kCompressedCopyField) {
      offer.CompressedCopy = true;
    } else if (field.substr(0, patchName.size()) == patchName) {
      const std::string base(field.substr(patchName.size()));
      const bool known = std::find(offer.PatchBases.begin(), offer.PatchBases.end(), base) !=
                         offer.PatchBases.end();
      if (IsDigestPrefix(base) && !known) offer.PatchBases.push_back(base);
    }
  }
  return offer;
}

std::string DeltaOfferFields(const TDeltaOffer& offer) {
  std::string fields = offer.CompressedCopy ? std::string(",") + kCompressedCopyField : "";
  for (const std::string& base : offer.PatchBases) fields += "," + (kPatchFieldName + base);
  return fields;
}

std::optional<TDeltaRoute> ChooseDeltaRoute(const TDeltaOffer& offer, const std::string& bare,
                                            const TSha256Digest& target,
                                            const std::optional<TSha256Digest>& installed) {
  if (installed && offer.HasPatchFrom(*installed))
    return TDeltaRoute{PatchPath(bare, DigestPrefix(*installed), target), true};
  if (offer.CompressedCopy) return TDeltaRoute{CompressedCopyPath(bare, target), false};
  return std::nullopt;
}

std::string DigestPrefix(const TSha256Digest& digest) {
  return DigestHex(digest).substr(0, kDigestPrefixLength);
}

std::string CompressedCopyPath(const std::string& bare, const TSha256Digest& target) {
  return kDeltaFolder + bare + "." + DigestPrefix(target) + ".zst";
}

std::string PatchPath(const std::string& bare, const std::string& basePrefix,
                      const TSha256Digest& target) {
  return kDeltaFolder + bare + "." + basePrefix + "." + DigestPrefix(target) + ".patch";
}

}  // namespace engine
