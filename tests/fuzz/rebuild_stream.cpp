// Fuzz target: rebuilding a file from a compressed copy or a patch, whose
// bytes come from the server.  Whatever arrives, the rebuild writes no
// more than the file's size, keeps its decoder within the frame bound, and
// either gives exactly the file's size or refuses with ERebuildRefused.
//
// Input: one byte of flags (bit 0: a patch, against the base below), two
// bytes of the file's size (little-endian), one byte of the piece size the
// bytes arrive in (0 meaning 256), then the compressed bytes.  The seeds are
// compressed copies and patches of ProgramLike/NextRelease files (from
// tests/support/ReleaseData.h, seeds 1 to 3) made by engine/DeltaEncoder.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "../support/CountingStream.h"
#include "../support/ReleaseData.h"
#include "engine/RebuildStream.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "rebuild_stream: %s\n", what);
  std::abort();
}

constexpr size_t kPrefix = 4;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string base = releasedata::ProgramLike(65536, 1);
  if (size < kPrefix) return 0;
  const bool patch = (data[0] & 1) != 0;
  const int64_t fileSize = data[1] | (data[2] << 8);
  const size_t piece = data[3] == 0 ? 256 : data[3];
  TCountingStream out;
  engine::TRebuildStream stream(out, fileSize,
                                patch ? releasedata::Bytes(base) : std::span<const uint8_t>());
  bool refused = false;
  try {
    for (size_t at = kPrefix; at < size; at += piece)
      stream.Write(data + at, std::min(piece, size - at));
    stream.Finish();
  } catch (const ERebuildRefused&) {
    refused = true;
  }
  if (out.Size() > fileSize) Fail("wrote more than the file's size");
  if (!refused && out.Size() != fileSize) Fail("finished short of the file's size");
  if (stream.DecoderMemory() > static_cast<size_t>(engine::kMaxRebuildFrameSize) + (1 << 20))
    Fail("the decoder holds more than a frame");
  return 0;
}
