#pragma once
// The header that begins every zstd frame (RFC 8878, 3.1.1), read before the
// decoder sees it, so a frame can be judged by what it declares (its
// content size above all) before any of it is decoded.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace engine {

// The bytes that tell a header's size: the magic number and the descriptor.
inline constexpr size_t kZstdHeaderPrefix = 5;
inline constexpr size_t kZstdHeaderMax = 18;

struct TZstdFrameHeader {
  std::optional<uint64_t> ContentSize;  // none when the frame does not declare it
  uint64_t WindowSize = 0;              // the content size for a single-segment frame
  uint32_t DictionaryId = 0;            // 0: none
  bool Checksum = false;
};

// The size of the header that the prefix (kZstdHeaderPrefix bytes) begins;
// 0 when it begins no zstd frame (another magic number, a skippable frame).
// The decoder judges the rest (a reserved bit set, say).
size_t ZstdFrameHeaderSize(std::span<const uint8_t> prefix);
// Reads a header of the size that ZstdFrameHeaderSize gave.
TZstdFrameHeader ReadZstdFrameHeader(std::span<const uint8_t> header);

}  // namespace engine
