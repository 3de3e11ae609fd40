#include "engine/ZstdFrameHeader.h"

namespace engine {

namespace {

constexpr uint32_t kZstdMagic = 0xFD2FB528;
constexpr unsigned kMinWindowLog = 10;

uint64_t LittleEndian(std::span<const uint8_t> bytes) {
  uint64_t value = 0;
  for (size_t i = bytes.size(); i-- > 0;) value = (value << 8) | bytes[i];
  return value;
}

// The descriptor's fields (the fifth byte of a frame).
struct TDescriptor {
  explicit TDescriptor(uint8_t byte)
      : ContentSizeFlag(byte >> 6),
        SingleSegment((byte >> 5) & 1),
        Checksum((byte >> 2) & 1),
        DictionaryIdFlag(byte & 3) {}

  size_t WindowBytes() const { return SingleSegment ? 0 : 1; }
  size_t DictionaryIdBytes() const { return DictionaryIdFlag == 3 ? 4 : DictionaryIdFlag; }
  size_t ContentSizeBytes() const {
    if (ContentSizeFlag == 0) return SingleSegment ? 1 : 0;
    return size_t{1} << ContentSizeFlag;  // 2, 4 or 8
  }

  unsigned ContentSizeFlag, SingleSegment, Checksum, DictionaryIdFlag;
};

uint64_t WindowSizeOf(uint8_t descriptor) {
  const unsigned windowLog = kMinWindowLog + (descriptor >> 3);
  const uint64_t base = uint64_t{1} << windowLog;
  return base + (base / 8) * (descriptor & 7);
}

}  // namespace

size_t ZstdFrameHeaderSize(std::span<const uint8_t> prefix) {
  if (prefix.size() < kZstdHeaderPrefix || LittleEndian(prefix.first(4)) != kZstdMagic) return 0;
  const TDescriptor descriptor(prefix[4]);
  return kZstdHeaderPrefix + descriptor.WindowBytes() + descriptor.DictionaryIdBytes() +
         descriptor.ContentSizeBytes();
}

TZstdFrameHeader ReadZstdFrameHeader(std::span<const uint8_t> header) {
  const TDescriptor descriptor(header[4]);
  TZstdFrameHeader read;
  read.Checksum = descriptor.Checksum;
  size_t at = kZstdHeaderPrefix;
  if (!descriptor.SingleSegment) read.WindowSize = WindowSizeOf(header[at++]);
  read.DictionaryId =
      static_cast<uint32_t>(LittleEndian(header.subspan(at, descriptor.DictionaryIdBytes())));
  at += descriptor.DictionaryIdBytes();
  const size_t sizeBytes = descriptor.ContentSizeBytes();
  if (sizeBytes > 0) {
    // The two-byte form counts from 256 (smaller sizes take one byte).
    read.ContentSize = LittleEndian(header.subspan(at, sizeBytes)) + (sizeBytes == 2 ? 256 : 0);
  }
  if (descriptor.SingleSegment) read.WindowSize = *read.ContentSize;
  return read;
}

}  // namespace engine
