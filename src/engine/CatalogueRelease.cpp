#include "engine/CatalogueRelease.h"

#include <limits>

#include "engine/CatalogueSignature.h"
#include "platform/ProfileText.h"
#include "platform/TextEncoding.h"
#include "util/UtcTime.h"

namespace {

// The values of Serial and Expires in the first section "release".
struct TReleaseEntries {
  std::optional<std::string> Serial, Expires;
};

TReleaseEntries ReleaseEntries(std::string_view catalogue) {
  bool byteOrderMark = false;
  const std::string text = platform::DecodeTextBytes(catalogue, byteOrderMark);
  TReleaseEntries entries;
  enum { kBefore, kInside, kAfter } where = kBefore;
  for (const std::string_view line : platform::SplitProfileLines(text)) {
    const platform::ProfileLine parsed = platform::ClassifyProfileLine(line);
    if (parsed.kind == platform::ProfileLine::kSection) {
      if (where == kInside) break;
      if (where == kBefore && IsReleaseSection(parsed.name)) where = kInside;
      continue;
    }
    if (where != kInside || parsed.kind != platform::ProfileLine::kEntry) continue;
    if (!entries.Serial && platform::SameTextIgnoringCase(parsed.name, kSerialKey))
      entries.Serial = std::string(parsed.value);
    if (!entries.Expires && platform::SameTextIgnoringCase(parsed.name, kExpiresKey))
      entries.Expires = std::string(parsed.value);
  }
  return entries;
}

std::string SerialText(uint64_t serial) { return std::to_string(serial); }

}  // namespace

bool IsReleaseSection(std::string_view name) {
  return platform::SameTextIgnoringCase(name, kReleaseSection);
}

TSerialText ParseSerial(std::string_view text, uint64_t& serial) {
  if (text.empty()) return TSerialText::kNotANumber;
  for (const char digit : text)
    if (digit < '0' || digit > '9') return TSerialText::kNotANumber;
  constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  serial = 0;
  for (const char digit : text) {
    const uint64_t value = static_cast<uint64_t>(digit - '0');
    if (serial > (kMax - value) / 10) return TSerialText::kTooLarge;
    serial = serial * 10 + value;
  }
  return TSerialText::kNumber;
}

TCatalogueRelease ReadCatalogueRelease(std::string_view catalogue) {
  const TReleaseEntries entries = ReleaseEntries(catalogue);
  TCatalogueRelease release;
  if (entries.Serial) {
    switch (ParseSerial(*entries.Serial, release.Serial)) {
      case TSerialText::kNotANumber:
        RefuseCatalogue(kSerialNotANumberText);
      case TSerialText::kTooLarge:
        RefuseCatalogue(kSerialTooLargeText);
      case TSerialText::kNumber:
        break;
    }
  }
  if (entries.Expires) {
    release.Expires = ParseUtcTime(*entries.Expires);
    if (!release.Expires) RefuseCatalogue(kExpiryInvalidText);
  }
  return release;
}

void CheckCatalogueRelease(const TCatalogueRelease& release, uint64_t acceptedSerial, int64_t now) {
  if (release.Serial < acceptedSerial)
    RefuseCatalogue("it is older than the catalogue accepted before (serial " +
                    SerialText(release.Serial) + ", accepted " + SerialText(acceptedSerial) + ").");
  if (!release.Expires) RefuseCatalogue(kExpiryMissingText);
  if (now > *release.Expires) RefuseCatalogue(ExpiredText("it", *release.Expires, now));
}

std::string ExpiredText(const std::string& what, int64_t expiry, int64_t now) {
  return what + " expired at " + FormatUtcTime(expiry) + " (this computer's clock reads " +
         FormatUtcTime(now) + ").";
}
