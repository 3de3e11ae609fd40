#pragma once
// The highest catalogue serial the updater has accepted, kept between runs
// in a small file of its own in the program folder, with the catalogue keys
// it was accepted under:
//
//   20250301120000 CR LF
//   keys=<SHA-256 of the catalogue keys, sorted, in 64 hex digits> CR LF
//
// A serial counts only under the catalogue keys it was accepted with: when
// a new root changes the catalogue keys, the serial starts again from the
// root's floor, so a serial as large as a leaked key could sign dies with
// that key.  A file without the keys line (as older updaters wrote it)
// belongs to the keys of the root built into the program.
//
// A missing file reads as serial 0; so does one that holds anything else
// (only a local user or a damaged disk can change the file, never the
// network), and the next catalogue accepted writes it afresh.  That leaves
// a fresh installation open to a replayed catalogue only until that
// catalogue's expiry, which every signed catalogue must carry, and never
// below the floor its root sets.  Start-up housekeeping leaves it alone.
#include <cstdint>
#include <optional>
#include <string>

#include "engine/TrustRoot.h"
#include "util/Sha256.h"

namespace engine {

inline constexpr const char* kAcceptedSerialFileName = "catalogue-serial.txt";

struct TAcceptedSerial {
  uint64_t Serial = 0;
  std::optional<TSha256Digest> Keys;  // none in a file of an older updater
};

TAcceptedSerial ReadAcceptedSerial(const std::string& programFolder);
// Writes the file whole through a temporary file and a rename; raises
// EFCreateError when it cannot.
void RecordAcceptedSerial(const std::string& programFolder, const TAcceptedSerial& accepted);

// What identifies a set of catalogue keys, whatever their order or labels.
TSha256Digest CatalogueKeysFingerprint(const TKeyRole& catalogueKeys);

// The lowest serial a catalogue signed under `current` may carry: the
// recorded serial where it belongs to the current catalogue keys, never
// below the root's floor.
uint64_t SerialToReach(const TAcceptedSerial& accepted, const TRoot& current, const TRoot& builtIn);

}  // namespace engine
