#pragma once
// The vendor's secret key file: the base64 text of the 32-byte Ed25519 seed
// on one line, readable by its owner only.
#include <string>

// Creates the file with mode 0600 and the seed's text; never replaces an
// existing file.  Raises Exception with the reason when it cannot.
void WriteNewSecretKey(const std::string& path, const std::string& seed);
// The seed; raises Exception when the file cannot be read or holds no key.
std::string ReadSecretKey(const std::string& path);
