#pragma once
// Whether a compressed copy or a patch on disk rebuilds exactly the file it
// stands in for: decoded by the updater's own rebuild (engine/RebuildStream)
// in pieces as a download would bring it, and the result's SHA-256 and size
// compared with the file's.
#include <cstdint>
#include <string>

#include "util/Sha256.h"

// "" when the file at `deltaPath` rebuilds the file of that digest and
// size, else why not.  `basePath` names a patch's base; "" for a compressed
// copy.
std::string RebuildFault(const std::string& deltaPath, const std::string& basePath,
                         const TSha256Digest& digest, int64_t size);
