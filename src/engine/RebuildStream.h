#pragma once
// Rebuilding a component's file from its compressed copy or from a patch
// (DeltaOffer.h) while the copy or patch arrives: a stream that a GET writes
// the body into, and that writes the rebuilt file into another stream (the
// partial download, which hashes it on the way), so nothing is read back.
//
// The format, for both: zstd frames (RFC 8878), one after the other, and
// nothing else (no skippable frames, nothing after the last frame).  Each
// frame declares its content size, at most kMaxRebuildFrameSize bytes and
// at least one (the one frame of an empty file declares 0), and names no
// dictionary; the declared sizes add up to the file's size.  A patch's
// frames are made with zstd's patch-from mode: each references the whole
// base file as its prefix, with long-distance matching, so its window spans
// the base and the frame.  A compressed copy's frames reference nothing.
//
// What bounds the work, whatever arrives:
//   - output: a frame declaring more than the file has left is refused at
//     its header, before a byte of it is written; the bytes each frame
//     delivers are counted against what it declared, so the file's size (the
//     signed size) is never exceeded downstream;
//   - memory: zstd's decoder keeps a frame's history in a buffer of the
//     smaller of its window and its declared content, so bounding each frame
//     to kMaxRebuildFrameSize bounds that buffer, however large the window a
//     frame declares (and windows beyond 2 GiB are refused).  The base is
//     referenced where it lies (a mapped file costs no heap).  The decoder's
//     peak is the frame bound and a quarter of a MiB (its tables and one
//     compressed block): 8.24 MiB for a patch of a 125 MiB program; this
//     stream adds one block of output (128 KiB).
//
// Any fault of the input (not zstd, corrupt, a frame out of bounds, cut
// short, wrong base, more than the file) raises ERebuildRefused, from Write
// as soon as it shows or from Finish: a download catches it to fall back to
// the whole file.  Errors of the stream written into pass through as they
// are.
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/ZstdFrameHeader.h"
#include "http/Stream.h"
#include "util/Errors.h"

typedef struct ZSTD_DCtx_s ZSTD_DCtx;
typedef struct ZSTD_inBuffer_s ZSTD_inBuffer;

QUORVIN_DECLARE_ERROR(ERebuildRefused, Exception);

namespace engine {

inline constexpr int64_t kMaxRebuildFrameSize = int64_t{8} << 20;

class TRebuildStream : public TStream {
 public:
  // Rebuilds a file of exactly `size` bytes into `out`.  `base` is the base
  // file's bytes for a patch, empty for a compressed copy; it must stay
  // where it is until the last Write.
  TRebuildStream(TStream& out, int64_t size, std::span<const uint8_t> base = {});
  ~TRebuildStream() override;
  TRebuildStream(const TRebuildStream&) = delete;
  TRebuildStream& operator=(const TRebuildStream&) = delete;

  // The compressed bytes taken.
  int64_t Position() const override { return FReceived; }
  int64_t Size() const override { return FReceived; }
  void Write(const void* data, size_t size) override;
  void CutAtPosition() override {}

  // After the transfer: raises ERebuildRefused unless the last frame has
  // ended and the whole file was rebuilt.
  void Finish();
  int64_t Rebuilt() const { return FRebuilt; }
  // The memory zstd's decoder holds now (for tests and benchmarks).
  size_t DecoderMemory() const;

 private:
  size_t TakeHeader(const uint8_t* data, size_t size);
  size_t HeaderBytesNeeded() const;
  void StartFrame();
  void Decode(ZSTD_inBuffer& input);
  void Deliver(size_t produced);
  [[noreturn]] void Refuse(const char* why) const;

  TStream& FOut;
  int64_t FSize;
  std::span<const uint8_t> FBase;
  ZSTD_DCtx* FDecoder;
  std::vector<uint8_t> FBlock;                    // decoded bytes on their way out
  std::array<uint8_t, kZstdHeaderMax> FHeader{};  // a frame header while it arrives
  size_t FHeaderHave = 0;
  bool FInFrame = false;
  int64_t FFrameLeft = 0;  // bytes the current frame has yet to deliver
  int64_t FFrames = 0;
  int64_t FReceived = 0;
  int64_t FRebuilt = 0;
};

}  // namespace engine
