#pragma once
// quorvin-publish sign: sets the sha256 field of every component entry of
// SERVER_ROOT/download/allfiles.ini from its file, the release serial (the
// larger of the old one + 1 and the UTC time as YYYYMMDDHHMMSS) and, when
// asked, the expiry; then writes the catalogue and its signature, each
// through a temporary file and a rename, and checks the result as the
// updater will.  Nothing is written when anything is missing.  Returns the
// exit status.
#include <optional>
#include <ostream>
#include <string>

int Sign(const std::string& secretKeyFile, const std::string& serverRoot,
         std::optional<int> expiresInDays, std::ostream& out, std::ostream& err);
