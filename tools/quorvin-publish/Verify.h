#pragma once
// quorvin-publish verify: checks a server tree as the updater will, with the
// same code: from the first root (the one built into the updater) along the
// roots the tree publishes to the newest, which must not have expired; the
// catalogue's signatures against that root's catalogue keys; its release
// section (a serial not below the root's floor, an expiry not passed); that
// no module is named "release"; that no module name, program file or
// component key holds a comma; and that every component entry carries a
// sha256 and a size field matching its file.  Prints a line for each check
// that fails and a closing line; returns the exit status, 0 only when all
// hold.
#include <optional>
#include <ostream>
#include <string>

#include "engine/TrustRoot.h"

// A catalogue and signature file not yet written, checked in place of the
// tree's own (quorvin-publish sign checks before it writes).
struct TPendingCatalogue {
  std::string Catalogue;
  std::string Signatures;
};

int Verify(const engine::TRoot& firstRoot, const std::string& serverRoot, std::ostream& out,
           const std::optional<TPendingCatalogue>& pending = std::nullopt);
