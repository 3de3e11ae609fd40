#pragma once
// The SHA-256 and size of a file on disk, read block by block, so a file of
// any size is checked in constant memory.
#include <cstdint>
#include <optional>
#include <string>

#include "util/Sha256.h"

namespace engine {

struct TFileDigest {
  TSha256Digest Sha256{};
  int64_t Size = 0;
};

// Nothing when the exact path names no readable regular file.  A symbolic
// link is followed only with `followLink`.
std::optional<TFileDigest> DigestOfFile(const std::string& path, bool followLink = false);

}  // namespace engine
