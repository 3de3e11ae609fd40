#pragma once
// quorvin-publish verify: checks a server tree as the updater will, with the
// same code: the signature over the catalogue's bytes, its release section,
// that no module is named "release", and that every component entry carries
// a sha256 field matching its file.  Prints a line for each check that
// fails and a closing line; returns the exit status, 0 only when all hold.
#include <ostream>
#include <string>

int Verify(const std::string& publicKeyText, const std::string& serverRoot, std::ostream& out);
