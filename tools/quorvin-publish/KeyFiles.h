#pragma once
// The vendor's key files and key texts.  A secret key file holds the base64
// text of the 32-byte Ed25519 seed on one line, readable by its owner only;
// a public key is given as the base64 text that keygen prints, optionally
// labelled ("alice:<base64>") where a root lists it.
#include <string>

#include "engine/TrustRoot.h"

// Creates the file with mode 0600 and the seed's text; never replaces an
// existing file.  Raises Exception with the reason when it cannot.
void WriteNewSecretKey(const std::string& path, const std::string& seed);
// The seed; raises Exception when the file cannot be read or holds no key.
std::string ReadSecretKey(const std::string& path);
// The raw public key of a base64 text; raises Exception naming `what`.
std::string ReadPublicKey(const std::string& text, const std::string& what);
// "[LABEL:]BASE64"; without a label the key gets `defaultLabel`.
engine::TLabelledKey ReadLabelledKey(const std::string& text, const std::string& defaultLabel);
