#pragma once
// Whether a compressed copy or a patch rebuilds exactly the file it stands
// in for: decoded by the updater's own rebuild (engine/RebuildStream) in
// pieces as a download would bring it, and the result's SHA-256 and size
// compared with the file's.
#include <cstdint>
#include <span>
#include <string>

#include "util/Sha256.h"

// "" when `delta` rebuilds the file of that digest and size, else why not.
// `base` is a patch's base; empty for a compressed copy.
std::string RebuildFault(std::span<const uint8_t> delta, std::span<const uint8_t> base,
                         const TSha256Digest& digest, int64_t size);
// The same for files on disk; `basePath` is "" for a compressed copy.
std::string RebuildFault(const std::string& deltaPath, const std::string& basePath,
                         const TSha256Digest& digest, int64_t size);
