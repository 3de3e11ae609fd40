#pragma once
// A signature file: the Ed25519 signatures of one file's exact bytes (a
// catalogue, a root), one per line, each naming its key:
//
//   <base64 of the 32-byte public key> <base64 of the 64-byte signature>
//
// A line may also hold the signature alone, the form that one key's signer
// (quorvin-publish sign with one key, openssl pkeyutl) has always written;
// it counts for whichever key of the role it verifies under.  Blanks around
// a line and blank lines are ignored; any other line makes the whole file
// malformed.
//
// A file is signed by a role (TrustRoot.h) when at least the role's
// threshold of its keys have valid signatures in it.  A key counts once,
// however often it appears; a signature by a key the role does not hold is
// skipped, and so is one that does not verify.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/TrustRoot.h"

namespace engine {

// Enough for every key of a role to sign with room to spare; anything
// longer is no signature file and is refused while it arrives.
inline constexpr size_t kMaxSignatureFileSize = 16 * 1024;
inline constexpr size_t kMaxSignatureLines = 64;

struct TSignatureLine {
  std::optional<std::string> Key;  // raw; none for a bare signature
  std::string Signature;           // raw, 64 bytes
};

// The lines of a signature file; nothing when it is malformed or too large.
std::optional<std::vector<TSignatureLine>> ReadSignatureLines(std::string_view file);

// How many distinct keys of the role signed the message.
int CountSigners(std::string_view message, const std::vector<TSignatureLine>& lines,
                 const TKeyRole& role);

// One line naming the key, as a signer with several keys writes it.
std::string NamedSignatureLine(const std::string& key, const std::string& signature);

}  // namespace engine
