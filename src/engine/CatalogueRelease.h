#pragma once
// The section "release" of a signed catalogue, which stops an attacker from
// replaying an older signed catalogue (to bring back old files) or holding
// back newer ones forever:
//
//   [release]
//   Serial=20250301120000          decimal, 0 to 18446744073709551615
//   Expires=2025-04-01T00:00:00Z   UTC
//
// The updater keeps the highest serial it accepted (AcceptedSerial.h) and
// refuses a catalogue with a lower one, one past its expiry, and one without
// an expiry: the expiry is what bounds the replay of an old catalogue to an
// updater that has no serial yet.  The same serial again is accepted (the
// same catalogue fetched again); a catalogue without Serial counts as serial
// 0.  A Serial or Expires that is present but unreadable refuses the
// catalogue.  As in every INI reading, the first
// section "release" (any letter case) and the first entry of a key count.
//
// Since this section is no module's, a module named "release" cannot have
// components of its own in a signed catalogue: detection passes it over
// there, and quorvin-publish refuses to sign such a catalogue.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

inline constexpr const char* kReleaseSection = "release";
inline constexpr const char* kSerialKey = "Serial";
inline constexpr const char* kExpiresKey = "Expires";

inline constexpr const char* kSerialNotANumberText = "its serial number is not a number.";
inline constexpr const char* kSerialTooLargeText = "its serial number is too large.";
inline constexpr const char* kExpiryInvalidText = "its expiry time is not valid.";
inline constexpr const char* kExpiryMissingText = "it carries no expiry time.";

struct TCatalogueRelease {
  uint64_t Serial = 0;
  std::optional<int64_t> Expires;  // UTC seconds since 1970
};

// Reads the section from the catalogue's bytes; raises ECatalogueNotVerified
// for a Serial or Expires that cannot be read.
TCatalogueRelease ReadCatalogueRelease(std::string_view catalogue);

// Raises ECatalogueNotVerified when the serial is below the accepted one,
// the catalogue has no expiry, or it has expired at the time `now` (this
// computer's clock, which the text names beside the expiry).
void CheckCatalogueRelease(const TCatalogueRelease& release, uint64_t acceptedSerial, int64_t now);

// A decimal serial ("0" to "18446744073709551615", leading zeros allowed).
enum class TSerialText { kNumber, kNotANumber, kTooLarge };
TSerialText ParseSerial(std::string_view text, uint64_t& serial);

// True for the name of the section above (any letter case).
bool IsReleaseSection(std::string_view name);

// "it expired at <expiry> (this computer's clock reads <now>)." for
// whatever expired: a catalogue, a root.
std::string ExpiredText(const std::string& what, int64_t expiry, int64_t now);
