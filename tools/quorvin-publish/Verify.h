#pragma once
// quorvin-publish verify: checks a server tree as the updater will, with the
// same code: from the first root (the one built into the updater) along the
// roots the tree publishes to the newest, which must not have expired; the
// catalogue's signatures against that root's catalogue keys; its release
// section (a serial not below the root's floor, an expiry not passed); that
// no module is named "release"; that no module name, program file or
// component key holds a comma; and that every component entry carries a
// sha256 and a size field matching its file.
//
// Every compressed copy and patch an entry offers (engine/DeltaOffer.h)
// must be on the server, and must rebuild exactly the file of the entry's
// digest and size when the updater's own rebuild decodes it.  A patch needs
// its base: verify looks for it in the vendor's archive (ReleaseArchive.h)
// when given one.  A patch whose base it cannot find is named as not
// checked, which does not fail the verification: the updater checks what
// any patch rebuilds against the signed digest and falls back to the whole
// file, so such a patch can cost a user a wasted request, never a wrong
// file.  Files in download/delta/ that no entry names are counted in a note.
//
// Prints a line for each check that fails and a closing line; returns the
// exit status, 0 only when all hold.
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>

#include "engine/FileDigest.h"
#include "engine/TrustRoot.h"

// A catalogue and signature file not yet written, checked in place of the
// tree's own (quorvin-publish sign checks before it writes), with what sign
// knows already and need not be read again.
struct TPendingCatalogue {
  std::string Catalogue;
  std::string Signatures;
  // The component files' digests, by path.
  std::map<std::string, engine::TFileDigest> Digests;
  // The compressed copies and patches made or found sound, by path below
  // download/; those not yet written are not looked for on disk.
  std::set<std::string> CheckedDeltaFiles;
};

// `archive` is the vendor's archive of earlier releases; "" for none.
int Verify(const engine::TRoot& firstRoot, const std::string& serverRoot, std::ostream& out,
           const std::optional<TPendingCatalogue>& pending = std::nullopt,
           const std::string& archive = "");
