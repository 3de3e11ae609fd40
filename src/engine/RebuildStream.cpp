#include "engine/RebuildStream.h"

#include <zstd.h>

#include <algorithm>

#include "engine/ZstdFrameHeader.h"

namespace engine {

namespace {

// The largest window a frame may declare: what the decoder allows at most.
// It costs nothing by itself (the decoder's buffer follows the content
// size), and a patch's window must span its base.
int LargestWindowLog() { return ZSTD_dParam_getBounds(ZSTD_d_windowLogMax).upperBound; }

}  // namespace

TRebuildStream::TRebuildStream(TStream& out, int64_t size, std::span<const uint8_t> base)
    : FOut(out), FSize(size), FBase(base), FDecoder(ZSTD_createDCtx()) {
  if (FDecoder == nullptr) RaiseOutOfMemory();
  ZSTD_DCtx_setParameter(FDecoder, ZSTD_d_windowLogMax, LargestWindowLog());
  FBlock.resize(ZSTD_DStreamOutSize());
}

TRebuildStream::~TRebuildStream() { ZSTD_freeDCtx(FDecoder); }

size_t TRebuildStream::DecoderMemory() const { return ZSTD_sizeof_DCtx(FDecoder); }

void TRebuildStream::Write(const void* data, size_t size) {
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  FReceived += static_cast<int64_t>(size);
  while (size > 0) {
    size_t taken;
    if (FInFrame) {
      ZSTD_inBuffer input{bytes, size, 0};
      Decode(input);
      taken = input.pos;
    } else {
      taken = TakeHeader(bytes, size);
    }
    bytes += taken;
    size -= taken;
  }
}

// Gathers the next frame's header; once it is whole, the frame starts.
// Returns the bytes taken.
size_t TRebuildStream::TakeHeader(const uint8_t* data, size_t size) {
  if (FFrames > 0 && FRebuilt == FSize) Refuse("more data after the whole file");
  const size_t taken = std::min(size, HeaderBytesNeeded() - FHeaderHave);
  std::copy_n(data, taken, FHeader.data() + FHeaderHave);
  FHeaderHave += taken;
  if (FHeaderHave >= kZstdHeaderPrefix && FHeaderHave == HeaderBytesNeeded()) StartFrame();
  return taken;
}

// The bytes that tell the header's size, then the whole header.
size_t TRebuildStream::HeaderBytesNeeded() const {
  if (FHeaderHave < kZstdHeaderPrefix) return kZstdHeaderPrefix;
  const size_t size = ZstdFrameHeaderSize({FHeader.data(), FHeaderHave});
  if (size == 0) Refuse("not a zstd frame");
  return size;
}

void TRebuildStream::StartFrame() {
  const std::span<const uint8_t> header(FHeader.data(), FHeaderHave);
  const TZstdFrameHeader frame = ReadZstdFrameHeader(header);
  if (!frame.ContentSize) Refuse("a frame does not declare its size");
  const int64_t left = FSize - FRebuilt;
  if (*frame.ContentSize > static_cast<uint64_t>(left)) Refuse("more data than the file's size");
  if (*frame.ContentSize > static_cast<uint64_t>(kMaxRebuildFrameSize))
    Refuse("a frame larger than the bound");
  if (*frame.ContentSize == 0 && FSize > 0) Refuse("an empty frame");
  FFrameLeft = static_cast<int64_t>(*frame.ContentSize);
  FInFrame = true;
  ++FFrames;
  // A prefix serves one frame only; each frame of a patch references it anew.
  const size_t result = ZSTD_DCtx_refPrefix(FDecoder, FBase.data(), FBase.size());
  if (ZSTD_isError(result)) Refuse(ZSTD_getErrorName(result));
  ZSTD_inBuffer input{FHeader.data(), FHeaderHave, 0};
  FHeaderHave = 0;
  Decode(input);
}

// Decodes what the input holds, delivering every byte decoded; the frame
// ends when the decoder says it has ended and handed out all it had.
void TRebuildStream::Decode(ZSTD_inBuffer& input) {
  for (;;) {
    ZSTD_outBuffer output{FBlock.data(), FBlock.size(), 0};
    const size_t hint = ZSTD_decompressStream(FDecoder, &output, &input);
    if (ZSTD_isError(hint)) Refuse(ZSTD_getErrorName(hint));
    Deliver(output.pos);
    if (hint == 0) {  // zstd has checked the frame's size and checksum
      FInFrame = false;
      return;
    }
    if (input.pos == input.size && output.pos < output.size) return;  // needs more input
  }
}

// zstd refuses a frame that holds more than it declared; the count here
// keeps the file's size out of reach of any fault of the decoder as well.
void TRebuildStream::Deliver(size_t produced) {
  if (produced == 0) return;
  if (static_cast<int64_t>(produced) > FFrameLeft) Refuse("a frame delivers more than it declared");
  FFrameLeft -= static_cast<int64_t>(produced);
  FRebuilt += static_cast<int64_t>(produced);
  FOut.Write(FBlock.data(), produced);
}

void TRebuildStream::Finish() {
  if (FInFrame || FHeaderHave > 0) Refuse("cut short in a frame");
  if (FFrames == 0 || FRebuilt != FSize) Refuse("cut short before the file's end");
}

void TRebuildStream::Refuse(const char* why) const {
  throw ERebuildRefused(std::string("The file could not be rebuilt: ") + why + ".");
}

}  // namespace engine
