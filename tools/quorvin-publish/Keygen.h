#pragma once
// quorvin-publish keygen: a new secret key file, and the public key's base64
// text on standard output, ready for QUORVIN_CATALOGUE_PUBLIC_KEY.
#include <ostream>
#include <string>

int Keygen(const std::string& secretKeyFile, std::ostream& out);
