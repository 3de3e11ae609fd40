// The worker-thread hasher gives the digests of the plain one, whatever the
// pieces it is fed in, and keeps to its bound on blocks in flight.
#include <gtest/gtest.h>

#include "util/BackgroundSha256.h"

namespace {

std::string Pattern(size_t size) {
  std::string data(size, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 131 + i / 4093);
  return data;
}

}  // namespace

TEST(BackgroundSha256Test, DigestsEqualThePlainHasherForEveryLength) {
  const size_t block = TBackgroundSha256::kBlockSize;
  // Below a block (no worker), exactly one, across the boundary, and far
  // more than the blocks that may wait at a time.
  for (const size_t size : {size_t{0}, size_t{3}, block - 1, block, block + 1,
                            (TBackgroundSha256::kBlocksInFlight + 3) * block + 12345}) {
    const std::string data = Pattern(size);
    TBackgroundSha256 hasher;
    for (size_t at = 0, piece = 7; at < data.size(); at += piece, piece = piece * 5 % 300007 + 1)
      hasher.Update(data.data() + at, std::min(piece, data.size() - at));
    EXPECT_EQ(hasher.Final(), Sha256(data)) << size << " bytes";
  }
}

TEST(BackgroundSha256Test, StartsOverAfterFinalAndStopsWithBlocksPending) {
  const std::string data = Pattern(3 * TBackgroundSha256::kBlockSize + 5);
  TBackgroundSha256 hasher;
  hasher.Update(data.data(), data.size());
  EXPECT_EQ(hasher.Final(), Sha256(data));
  EXPECT_EQ(hasher.Final(), Sha256(""));
  hasher.Update("abc", 3);
  EXPECT_EQ(hasher.Final(), Sha256("abc"));
  // A download that fails never asks for its digest: the hasher goes with
  // blocks still queued, and its worker ends.
  auto pending = std::make_unique<TBackgroundSha256>();
  for (int i = 0; i < 6; ++i) pending->Update(data.data(), data.size());
  pending.reset();
}
