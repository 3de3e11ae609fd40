#pragma once
// SHA-256 of a stream, computed on a worker thread so that hashing a large
// download does not hold up the loop that receives it.  The caller feeds
// bytes as they arrive; they are copied into blocks that the worker hashes
// in order.  At most kBlocksInFlight blocks wait at a time: a caller that
// outruns the worker waits for it, so memory stays bounded whatever the
// stream's length.  A stream shorter than one block is hashed in Final
// without a thread.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "util/Sha256.h"

class TBackgroundSha256 {
 public:
  static constexpr size_t kBlockSize = size_t{1} << 20;
  static constexpr size_t kBlocksInFlight = 4;

  TBackgroundSha256() = default;
  ~TBackgroundSha256();
  TBackgroundSha256(const TBackgroundSha256&) = delete;
  TBackgroundSha256& operator=(const TBackgroundSha256&) = delete;

  void Update(const void* data, size_t size);
  // The digest of everything fed so far, once the worker has hashed it; the
  // hasher starts over afterwards.  Raises what hashing raised.
  TSha256Digest Final();

 private:
  using TBlock = std::vector<char>;
  void HandOver();
  void WaitUntilIdle(std::unique_lock<std::mutex>& lock);
  void Work();

  TBlock FFilling;  // the caller's block, not yet handed over
  std::mutex FLock;
  std::condition_variable FChanged;
  std::deque<TBlock> FQueue;   // handed over, in order
  std::vector<TBlock> FSpare;  // hashed, ready for reuse
  bool FHashing = false;       // the worker holds a block
  bool FStopping = false;
  std::exception_ptr FFailure;
  TSha256Hasher FHasher;  // the worker's while blocks are in flight
  std::thread FWorker;
};
