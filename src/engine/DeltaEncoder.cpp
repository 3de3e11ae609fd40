#include "engine/DeltaEncoder.h"

#include <zstd.h>

#include <algorithm>
#include <bit>
#include <memory>

#include "engine/RebuildStream.h"

namespace engine {

namespace {

struct TFreeEncoder {
  void operator()(ZSTD_CCtx* encoder) const { ZSTD_freeCCtx(encoder); }
};
using TEncoder = std::unique_ptr<ZSTD_CCtx, TFreeEncoder>;

void Check(size_t result) {
  if (ZSTD_isError(result)) throw Exception(std::string("zstd: ") + ZSTD_getErrorName(result));
}

// The smallest window that spans the base and a whole frame, within zstd's
// bounds: every byte of the base stays in reach to the frame's last byte.
int WindowLogSpanning(uint64_t bytes) {
  const ZSTD_bounds bounds = ZSTD_cParam_getBounds(ZSTD_c_windowLog);
  const int log = static_cast<int>(std::bit_width(std::max<uint64_t>(bytes, 2) - 1));
  return std::clamp(log, bounds.lowerBound, bounds.upperBound);
}

TEncoder NewEncoder(int level) {
  TEncoder encoder(ZSTD_createCCtx());
  if (!encoder) RaiseOutOfMemory();
  Check(ZSTD_CCtx_setParameter(encoder.get(), ZSTD_c_compressionLevel, level));
  Check(ZSTD_CCtx_setParameter(encoder.get(), ZSTD_c_contentSizeFlag, 1));
  Check(ZSTD_CCtx_setParameter(encoder.get(), ZSTD_c_checksumFlag, 1));
  return encoder;
}

// Appends one frame of `part`, referencing `base` when it is not empty.
void AppendFrame(ZSTD_CCtx* encoder, std::span<const uint8_t> base, std::span<const uint8_t> part,
                 std::string& out) {
  // A prefix serves one frame only; each frame references it anew.
  if (!base.empty()) Check(ZSTD_CCtx_refPrefix(encoder, base.data(), base.size()));
  const size_t at = out.size();
  out.resize(at + ZSTD_compressBound(part.size()));
  const size_t written =
      ZSTD_compress2(encoder, out.data() + at, out.size() - at, part.data(), part.size());
  Check(written);
  out.resize(at + written);
}

std::string EncodeFrames(ZSTD_CCtx* encoder, std::span<const uint8_t> base,
                         std::span<const uint8_t> file) {
  std::string out;
  size_t at = 0;
  do {  // an empty file still gets its one (empty) frame
    const size_t part = std::min<size_t>(file.size() - at, kMaxRebuildFrameSize);
    AppendFrame(encoder, base, file.subspan(at, part), out);
    at += part;
  } while (at < file.size());
  return out;
}

}  // namespace

std::string CompressedCopy(std::span<const uint8_t> file, int level) {
  const TEncoder encoder = NewEncoder(level);
  return EncodeFrames(encoder.get(), {}, file);
}

std::string Patch(std::span<const uint8_t> base, std::span<const uint8_t> file, int level) {
  const bool large = static_cast<int64_t>(base.size()) > kLargeBase;
  const TEncoder encoder = NewEncoder(large ? std::min(level, kLargeBaseLevel) : level);
  const uint64_t frame = std::min<uint64_t>(file.size(), kMaxRebuildFrameSize);
  Check(ZSTD_CCtx_setParameter(encoder.get(), ZSTD_c_windowLog,
                               WindowLogSpanning(base.size() + frame)));
  Check(ZSTD_CCtx_setParameter(encoder.get(), ZSTD_c_enableLongDistanceMatching, 1));
  return EncodeFrames(encoder.get(), base, file);
}

}  // namespace engine
