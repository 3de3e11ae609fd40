#pragma once
// quorvin-publish sign: sets the sha256 and size fields of every component
// entry of SERVER_ROOT/download/allfiles.ini from its file, the release
// serial (the larger of the old one + 1 and the UTC time as YYYYMMDDHHMMSS;
// the UTC time alone with restartSerial) and the expiry (7 days unless told
// otherwise); signs the result with each secret key; checks catalogue and
// signatures in memory exactly as `verify` would check them once written,
// under the first root given (or, without one, the one-key root of the only
// secret key); and only then writes the signatures and the catalogue, each
// through a temporary file and a rename.  Nothing is written when anything
// is missing or does not verify.  Returns the exit status.
//
// With an archive of earlier releases (ReleaseArchive.h) it also makes each
// component's compressed copy and its patches from the last `PatchCount`
// earlier versions (ComponentDeltas.h), in memory, and states them in the
// entry's fields; they are written below download/delta/ after everything
// has been checked, before the signatures and the catalogue.  Without an
// archive no entry offers either: the fields of an earlier signing are
// dropped, since they may name files made for other content.
//
// One key writes one bare signature line, the form every updater reads
// (also those built before roots existed); several keys write one line per
// key, each naming it.
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "ReleaseArchive.h"
#include "engine/DeltaEncoder.h"
#include "engine/TrustRoot.h"

inline constexpr int kDefaultExpiryDays = 7;

struct TSignOptions {
  std::vector<std::string> SecretKeyFiles;
  std::string ServerRoot;
  int ExpiresInDays = kDefaultExpiryDays;
  bool RestartSerial = false;
  std::optional<engine::TRoot> FirstRoot;  // none: the one-key root of the only key
  std::string Archive;                     // "": no compressed copies, no patches
  int PatchCount = kDefaultPatchCount;
  int Level = engine::kDefaultDeltaLevel;
};

int Sign(const TSignOptions& options, std::ostream& out, std::ostream& err);
