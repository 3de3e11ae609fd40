// Rebuilding a file from its compressed copy or a patch as the bytes
// arrive: round trips in pieces of every size, and every way the input can
// be wrong (not zstd, cut, corrupt, the wrong base, more than the file,
// frames out of bounds) refused without writing past the file's size.
#include "engine/RebuildStream.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/DeltaEncoder.h"
#include "http/HttpClient.h"
#include "http/MemoryStream.h"
#include "support/ReleaseData.h"
#include "support/ScriptedServer.h"

using engine::CompressedCopy;
using engine::kMaxRebuildFrameSize;
using engine::Patch;
using engine::TRebuildStream;
using releasedata::Bytes;
using releasedata::NextRelease;
using releasedata::ProgramLike;

namespace {

// A quick level for large inputs: the format is the same at every level.
constexpr int kQuick = 1;

struct TRebuilt {
  std::string File;
  bool Refused = false;
  std::string Why;
};

// Feeds `input` to a rebuild of a file of `size` bytes in pieces of `piece`
// bytes, then finishes it.
TRebuilt Rebuild(const std::string& input, int64_t size, const std::string& base = "",
                 size_t piece = 65536) {
  TMemoryStream out;
  TRebuilt rebuilt;
  try {
    TRebuildStream stream(out, size, Bytes(base));
    for (size_t at = 0; at < input.size(); at += piece)
      stream.Write(input.data() + at, std::min(piece, input.size() - at));
    stream.Finish();
  } catch (const ERebuildRefused& refusal) {
    rebuilt.Refused = true;
    rebuilt.Why = refusal.Message();
  }
  rebuilt.File.assign(out.Data() ? out.Data() : "", static_cast<size_t>(out.Size()));
  return rebuilt;
}

// A frame put together by hand, for what the encoder never writes.
struct THandFrame {
  std::optional<uint64_t> ContentSize;
  uint8_t WindowDescriptor = 0;  // exponent << 3 | mantissa: 2^(10 + exponent) bytes and more
  uint32_t DictionaryId = 0;
  std::vector<std::string> RawBlocks;

  std::string Bytes() const {
    std::string frame("\x28\xb5\x2f\xfd", 4);
    const uint8_t sizeFlag = ContentSize ? 3 : 0;  // 8 bytes, or none
    const uint8_t idFlag = DictionaryId ? 3 : 0;   // 4 bytes, or none
    frame += static_cast<char>(sizeFlag << 6 | idFlag);
    frame += static_cast<char>(WindowDescriptor);
    if (DictionaryId) AppendLittleEndian(frame, DictionaryId, 4);
    if (ContentSize) AppendLittleEndian(frame, *ContentSize, 8);
    for (size_t i = 0; i < RawBlocks.size(); ++i) {
      const bool last = i + 1 == RawBlocks.size();
      AppendLittleEndian(frame, (RawBlocks[i].size() << 3) | (last ? 1 : 0), 3);  // type 0: raw
      frame += RawBlocks[i];
    }
    return frame;
  }
  static void AppendLittleEndian(std::string& to, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) to += static_cast<char>(value >> (8 * i));
  }
};

}  // namespace

// ---- round trips ------------------------------------------------------------

TEST(RebuildStream, ACompressedCopyRebuildsTheFileWhateverPiecesItArrivesIn) {
  const std::string small = ProgramLike(70000, 1);
  const std::string copy = CompressedCopy(Bytes(small));
  EXPECT_LT(copy.size(), small.size() / 2);
  for (size_t piece : {size_t{1}, size_t{5}, size_t{13}, size_t{4096}, copy.size()}) {
    const TRebuilt rebuilt = Rebuild(copy, static_cast<int64_t>(small.size()), "", piece);
    EXPECT_FALSE(rebuilt.Refused) << piece << ": " << rebuilt.Why;
    EXPECT_TRUE(rebuilt.File == small) << piece;
  }
}

TEST(RebuildStream, FilesOfNoByteOneByteAndAcrossFrameBoundariesRoundTrip) {
  for (const int64_t size : {int64_t{0}, int64_t{1}, kMaxRebuildFrameSize, kMaxRebuildFrameSize + 1,
                             2 * kMaxRebuildFrameSize + 12345}) {
    const std::string file = ProgramLike(static_cast<size_t>(size), 2);
    const TRebuilt rebuilt = Rebuild(CompressedCopy(Bytes(file), kQuick), size);
    EXPECT_FALSE(rebuilt.Refused) << size << ": " << rebuilt.Why;
    EXPECT_TRUE(rebuilt.File == file) << size;
  }
}

TEST(RebuildStream, APatchRebuildsTheNextReleaseFromTheBaseAndIsSmall) {
  const std::string base = ProgramLike(1 << 20, 3);
  const std::string next = NextRelease(base, 4);
  const std::string patch = Patch(Bytes(base), Bytes(next));
  EXPECT_LT(patch.size(), next.size() / 20);
  EXPECT_LT(patch.size(), CompressedCopy(Bytes(next)).size() / 5);
  const TRebuilt rebuilt = Rebuild(patch, static_cast<int64_t>(next.size()), base, 1000);
  EXPECT_FALSE(rebuilt.Refused) << rebuilt.Why;
  EXPECT_TRUE(rebuilt.File == next);
}

TEST(RebuildStream, APatchOfSeveralFramesReachesBackIntoTheWholeBaseWithBoundedMemory) {
  // Each frame of the next release finds its text anywhere in the base:
  // the block moved from the start to the end included.
  const std::string base = ProgramLike(static_cast<size_t>(2 * kMaxRebuildFrameSize), 5);
  const std::string next = NextRelease(base, 6);
  const std::string patch = Patch(Bytes(base), Bytes(next), kQuick);
  EXPECT_LT(patch.size(), next.size() / 10);
  TMemoryStream out;
  TRebuildStream stream(out, static_cast<int64_t>(next.size()), Bytes(base));
  size_t largest = 0;
  for (size_t at = 0; at < patch.size(); at += 4096) {
    stream.Write(patch.data() + at, std::min<size_t>(4096, patch.size() - at));
    largest = std::max(largest, stream.DecoderMemory());
  }
  stream.Finish();
  EXPECT_TRUE(std::string(out.Data(), static_cast<size_t>(out.Size())) == next);
  // The windows span the base (16 MiB and more); the decoder holds a frame.
  EXPECT_LE(largest, static_cast<size_t>(kMaxRebuildFrameSize) + (1 << 20));
}

TEST(RebuildStream, APatchCrossesTheWireFromTheServerIntoTheRebuild) {
  const std::string base = ProgramLike(200000, 7);
  const std::string next = NextRelease(base, 8);
  ScriptedServer server;
  server.AddFile("/download/delta/x.patch", Patch(Bytes(base), Bytes(next)));
  THttpClient client;
  TMemoryStream out;
  TRebuildStream stream(out, static_cast<int64_t>(next.size()), Bytes(base));
  client.Get(server.Url("/download/delta/x.patch"), stream);
  stream.Finish();
  EXPECT_TRUE(std::string(out.Data(), static_cast<size_t>(out.Size())) == next);
  EXPECT_EQ(stream.Rebuilt(), static_cast<int64_t>(next.size()));
}

// ---- refusals -----------------------------------------------------------------

TEST(RebuildStream, WhatIsNoZstdFrameIsRefusedAtOnce) {
  for (const std::string& input : {std::string("<html><body>404 Not Found</body></html>"),
                                   std::string("\x50\x2a\x4d\x18\x04\x00\x00\x00"
                                               "abcd",
                                               12),                         // a skippable frame
                                   std::string("\x28\xb5\x2f\xfd\x08", 5),  // the reserved bit set
                                   std::string("\x28\xb5\x2f", 3)}) {  // cut in the magic number
    const TRebuilt rebuilt = Rebuild(input, 4);
    EXPECT_TRUE(rebuilt.Refused) << input;
    EXPECT_EQ(rebuilt.File, "");
  }
  EXPECT_TRUE(Rebuild("", 0).Refused);  // no frame at all, not even for an empty file
}

TEST(RebuildStream, InputCutAnywhereIsRefusedAndNeverMoreThanTheFileIsWritten) {
  const std::string base = ProgramLike(20000, 9);
  const std::string next = NextRelease(base, 10);
  const std::string patch = Patch(Bytes(base), Bytes(next));
  for (size_t length = 0; length < patch.size(); ++length) {
    const TRebuilt rebuilt =
        Rebuild(patch.substr(0, length), static_cast<int64_t>(next.size()), base, 7);
    EXPECT_TRUE(rebuilt.Refused) << length;
    EXPECT_EQ(next.compare(0, rebuilt.File.size(), rebuilt.File), 0) << length;
  }
}

TEST(RebuildStream, AnyCorruptByteIsRefused) {
  const std::string base = ProgramLike(20000, 11);
  const std::string next = NextRelease(base, 12);
  const std::string patch = Patch(Bytes(base), Bytes(next));
  for (size_t at = 0; at < patch.size(); ++at) {
    std::string corrupt = patch;
    corrupt[at] = static_cast<char>(corrupt[at] ^ 0x21);
    const TRebuilt rebuilt = Rebuild(corrupt, static_cast<int64_t>(next.size()), base);
    EXPECT_TRUE(rebuilt.Refused) << "byte " << at;
    EXPECT_LE(rebuilt.File.size(), next.size());
  }
}

TEST(RebuildStream, DataAfterTheLastFrameIsRefused) {
  const std::string file = ProgramLike(5000, 13);
  const std::string copy = CompressedCopy(Bytes(file));
  EXPECT_TRUE(Rebuild(copy + copy, 5000).Refused);
  EXPECT_TRUE(Rebuild(copy + "x", 5000).Refused);
  const std::string empty = CompressedCopy({});
  EXPECT_FALSE(Rebuild(empty, 0).Refused);
  EXPECT_TRUE(Rebuild(empty + empty, 0).Refused);
}

TEST(RebuildStream, APatchAppliedToAnotherBaseIsRefused) {
  const std::string base = ProgramLike(300000, 14);
  const std::string next = NextRelease(base, 15);
  const std::string patch = Patch(Bytes(base), Bytes(next));
  std::string changed = base;
  changed[base.size() / 2] ^= 1;  // one byte differs
  const std::string older = ProgramLike(280000, 16);
  const std::string* const wrongBases[] = {&changed, &older, &next};
  for (const std::string* wrong : wrongBases) {
    const TRebuilt rebuilt = Rebuild(patch, static_cast<int64_t>(next.size()), *wrong);
    EXPECT_TRUE(rebuilt.Refused);
  }
  EXPECT_TRUE(Rebuild(patch, static_cast<int64_t>(next.size()), "").Refused);  // no base at all
}

TEST(RebuildStream, AFrameDeclaringMoreThanTheFileIsRefusedBeforeAByteIsWritten) {
  const std::string file = ProgramLike(100000, 17);
  const std::string copy = CompressedCopy(Bytes(file));
  const TRebuilt rebuilt = Rebuild(copy, 99999);  // the signed size is one byte less
  EXPECT_TRUE(rebuilt.Refused);
  EXPECT_EQ(rebuilt.File, "");
  // Larger than the file by a whole frame: the second frame's header stops it.
  const std::string two = ProgramLike(static_cast<size_t>(kMaxRebuildFrameSize) + 100, 18);
  const TRebuilt cut = Rebuild(CompressedCopy(Bytes(two), kQuick), kMaxRebuildFrameSize);
  EXPECT_TRUE(cut.Refused);
  EXPECT_TRUE(cut.File == two.substr(0, static_cast<size_t>(kMaxRebuildFrameSize)));
}

TEST(RebuildStream, AFrameThatDeliversMoreThanItDeclaredIsStoppedAtItsSize) {
  // Declares 100 bytes, holds 3 x 100 in raw blocks.
  THandFrame frame{
      100, 0, 0, {std::string(100, 'a'), std::string(100, 'b'), std::string(100, 'c')}};
  const TRebuilt rebuilt = Rebuild(frame.Bytes(), 1000);
  EXPECT_TRUE(rebuilt.Refused);
  EXPECT_LE(rebuilt.File.size(), 100u);
  // Declares 300 bytes, holds 200 and ends.
  THandFrame shorter{300, 0, 0, {std::string(100, 'a'), std::string(100, 'b')}};
  EXPECT_TRUE(Rebuild(shorter.Bytes(), 300).Refused);
}

TEST(RebuildStream, FramesOutOfBoundsAreRefusedAtTheirHeaderBeforeTheDecoderSeesThem) {
  const std::string block(1000, 'z');
  const uint64_t over = static_cast<uint64_t>(kMaxRebuildFrameSize) + 1;
  const THandFrame outOfBounds[] = {
      {std::nullopt, 17 << 3, 0, {block}},  // no declared size, 128 MiB of window to keep
      {over, 17 << 3, 0, {block}},          // larger than a frame may be, though the file is larger
      {1000, 0, 7, {block}},                // a dictionary the rebuild does not have
  };
  for (const THandFrame& frame : outOfBounds) {
    TMemoryStream out;
    TRebuildStream stream(out, 1 << 30);
    const std::string bytes = frame.Bytes();
    EXPECT_THROW(stream.Write(bytes.data(), bytes.size()), ERebuildRefused);
    EXPECT_EQ(out.Size(), 0);
    EXPECT_LT(stream.DecoderMemory(), size_t{1} << 20);
  }
  // An empty frame in a file that is not empty.
  EXPECT_TRUE(
      Rebuild(THandFrame{0, 0, 0, {""}}.Bytes() + CompressedCopy(Bytes(block)), 1000).Refused);
  // A sound one, for comparison.
  EXPECT_EQ(Rebuild(THandFrame{1000, 0, 0, {block}}.Bytes(), 1000).File, block);
}

TEST(RebuildStream, AHugeDeclaredWindowCostsNoMemoryAndABeyondAnyWindowIsRefused) {
  const std::string block(5000, 'w');
  // 2^31 bytes of window (exponent 21), five thousand bytes of content.
  TMemoryStream out;
  TRebuildStream stream(out, 5000);
  const std::string frame = THandFrame{5000, 21 << 3, 0, {block}}.Bytes();
  stream.Write(frame.data(), frame.size());
  stream.Finish();
  EXPECT_EQ(std::string(out.Data(), 5000), block);
  EXPECT_LT(stream.DecoderMemory(), size_t{1} << 20);
  // 2^41 bytes and more (exponent 31, mantissa 7): more than any decoder allows.
  const TRebuilt huge = Rebuild(THandFrame{5000, 31 << 3 | 7, 0, {block}}.Bytes(), 5000);
  EXPECT_TRUE(huge.Refused);
  EXPECT_EQ(huge.File, "");
}

TEST(RebuildStream, AFailureOfTheStreamWrittenIntoPassesThroughAsItIs) {
  class TFullDisk : public TMemoryStream {
   public:
    void Write(const void*, size_t) override { RaiseCreateError("partial", 28); }
  } out;
  const std::string file = ProgramLike(1000, 19);
  TRebuildStream stream(out, 1000);
  const std::string copy = CompressedCopy(Bytes(file));
  EXPECT_THROW(stream.Write(copy.data(), copy.size()), EFCreateError);
}
