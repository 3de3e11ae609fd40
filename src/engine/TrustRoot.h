#pragma once
// A root of trust: the vendor's signed statement of which keys are trusted
// for what.  Its text is INI, read exactly as every INI file of the family:
//
//   [root]
//   Version=2                          1, 2, 3, ... (each root names the next)
//   RootThreshold=2                    how many root keys must sign a root
//   CatalogueThreshold=1               how many catalogue keys must sign a catalogue
//   Expires=2027-03-01T00:00:00Z       optional, UTC: the updater refuses to work past it
//   SerialFloor=20260301000000         optional: no catalogue below this serial
//
//   [root keys]
//   alice=<base64 of a 32-byte Ed25519 public key>
//   ...
//   [catalogue keys]
//   release-2026=<base64>
//   ...
//
// The names before "=" are the vendor's labels; only the keys count, and a
// key listed twice counts once.  Both thresholds must be reachable with the
// distinct keys listed, or the root is refused: it could never be obeyed.
// Its signatures live beside it (SignatureLines.h).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

inline constexpr const char* kRootSection = "root";
inline constexpr const char* kRootKeysSection = "root keys";
inline constexpr const char* kCatalogueKeysSection = "catalogue keys";
inline constexpr const char* kRootVersionKey = "Version";
inline constexpr const char* kRootThresholdKey = "RootThreshold";
inline constexpr const char* kCatalogueThresholdKey = "CatalogueThreshold";
inline constexpr const char* kRootExpiresKey = "Expires";
inline constexpr const char* kSerialFloorKey = "SerialFloor";

// A root's text is a few hundred bytes; more than this is no root.
inline constexpr size_t kMaxRootSize = 64 * 1024;
// Keys of one role: enough for any vendor, few enough that checking a
// signature file against them stays cheap.
inline constexpr size_t kMaxKeysPerRole = 32;

// A public key and the vendor's label for it.
struct TLabelledKey {
  std::string Label;
  std::string Key;  // raw, 32 bytes
  bool operator==(const TLabelledKey&) const = default;
};

// The keys trusted for one role and how many of them must sign.
struct TKeyRole {
  std::vector<TLabelledKey> Keys;  // each key once (its first label), in file order
  int Threshold = 1;

  bool Holds(std::string_view key) const;
  // Adds the key unless it is there already; false when it was.
  bool Add(const TLabelledKey& key);
};

struct TRoot {
  uint64_t Version = 1;
  TKeyRole RootKeys;
  TKeyRole CatalogueKeys;
  std::optional<int64_t> Expires;  // UTC seconds since 1970
  uint64_t SerialFloor = 0;
};

// Reads a root's text; raises ECatalogueNotVerified naming root `what` (for
// example "root 3") and what is wrong with it.
TRoot ParseRoot(std::string_view text, const std::string& what);

// The root that a single key stands for: version 1, that key alone for
// both roles, threshold 1, no expiry.  `key` is raw (32 bytes).
TRoot OneKeyRoot(const std::string& key);

// A root's text as the vendor's tool writes it, with CR LF line ends.
std::string RootText(const TRoot& root);

// True when both roots trust the same catalogue keys (whatever their
// labels, order or threshold).
bool SameCatalogueKeys(const TRoot& a, const TRoot& b);

}  // namespace engine
