#pragma once
// The chain of roots: the program trusts the root built into it, and each
// later root only when the one before it vouches for it.  Root N+1 is
// accepted when
//   1. a threshold of distinct root keys of root N signed its exact bytes
//      (checked before anything of it is read),
//   2. it reads as a root (TrustRoot.h) and carries exactly version N+1, and
//   3. a threshold of its own root keys signed it too,
// so that the vendor can rotate any key, a root key included, but no one
// who holds fewer keys than a threshold can.  The walk asks its source for
// the next root in turn until the source has none; the newest is current.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "engine/TrustRoot.h"

namespace engine {

// A root's text and its signature file, as they were published.
struct TSignedRoot {
  std::string Text;
  std::string Signatures;
};

// Where the next roots come from: the download server, the roots kept in
// the program folder, a vendor's server tree.
class IRootSource {
 public:
  virtual ~IRootSource() = default;
  // Root `version` with its signatures; nothing when the source has none.
  // Raises what keeps it from telling.
  virtual std::optional<TSignedRoot> Fetch(uint64_t version) = 0;
};

// "root 3".
std::string RootName(uint64_t version);

// Checks `next` as the successor of `current` (see above) and returns it;
// raises ECatalogueNotVerified saying which condition failed.
TRoot AcceptNextRoot(const TRoot& current, const TSignedRoot& next);

// A first root, as given to the build or the vendor's tool: it reads as a
// root and a threshold of its own root keys signed it.  Raises
// ECatalogueNotVerified naming it `what`.
TRoot ReadFirstRoot(const TSignedRoot& root, const std::string& what);

// Calls `accepted` for each root it accepts; returns the newest.
using TRootAccepted = std::function<void(const TRoot&, const TSignedRoot&)>;
TRoot WalkRootChain(const TRoot& start, IRootSource& source, const TRootAccepted& accepted = {});

// Raises ECatalogueNotVerified when the root has expired at `now`.
void CheckRootCurrent(const TRoot& root, int64_t now);

}  // namespace engine
