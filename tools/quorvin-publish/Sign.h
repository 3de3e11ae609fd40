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
// One key writes one bare signature line, the form every updater reads
// (also those built before roots existed); several keys write one line per
// key, each naming it.
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "engine/TrustRoot.h"

inline constexpr int kDefaultExpiryDays = 7;

struct TSignOptions {
  std::vector<std::string> SecretKeyFiles;
  std::string ServerRoot;
  int ExpiresInDays = kDefaultExpiryDays;
  bool RestartSerial = false;
  std::optional<engine::TRoot> FirstRoot;  // none: the one-key root of the only key
};

int Sign(const TSignOptions& options, std::ostream& out, std::ostream& err);
