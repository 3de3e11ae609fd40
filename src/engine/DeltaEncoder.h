#pragma once
// The writing side of RebuildStream.h's format: the compressed copy of a
// file, and a patch that rebuilds a file from its base.  The publishing
// tool makes them (and the tests); the updater only reads them.
//
// Both cut the file into frames of kMaxRebuildFrameSize bytes (the last
// one shorter), each declaring its content size and carrying zstd's
// checksum of its content, so a corrupt frame is caught as it ends.  A
// patch's frames reference the whole base as their prefix, with a window
// that spans the base and the frame, and long-distance matching, which
// finds what moved across a large file.
#include <cstdint>
#include <span>
#include <string>

namespace engine {

// zstd's compression level: 19 is the highest of its ordinary levels, worth
// its time for files made once and fetched by every user.
inline constexpr int kDefaultDeltaLevel = 19;
// A patch from a base larger than this is made at kLargeBaseLevel at most.
// Every frame indexes the whole base again, at a cost that grows steeply
// with the level: at level 19 about half a second per MiB of base and
// frame, so twenty minutes for a 125 MiB program.  For bases that large,
// long-distance matching finds nearly all there is to find: the patch of
// that program was no smaller at level 9 than at level 3, and took five
// times as long.
inline constexpr int64_t kLargeBase = int64_t{32} << 20;
inline constexpr int kLargeBaseLevel = 3;

std::string CompressedCopy(std::span<const uint8_t> file, int level = kDefaultDeltaLevel);
std::string Patch(std::span<const uint8_t> base, std::span<const uint8_t> file,
                  int level = kDefaultDeltaLevel);

}  // namespace engine
