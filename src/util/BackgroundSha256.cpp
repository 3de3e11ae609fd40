#include "util/BackgroundSha256.h"

#include <algorithm>
#include <utility>

TBackgroundSha256::~TBackgroundSha256() {
  if (!FWorker.joinable()) return;
  {
    const std::lock_guard<std::mutex> lock(FLock);
    FStopping = true;
    FQueue.clear();  // nobody will ask for the digest
  }
  FChanged.notify_all();
  FWorker.join();
}

void TBackgroundSha256::Update(const void* data, size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    if (FFilling.capacity() < kBlockSize) FFilling.reserve(kBlockSize);
    const size_t taken = std::min(size, kBlockSize - FFilling.size());
    FFilling.insert(FFilling.end(), bytes, bytes + taken);
    bytes += taken;
    size -= taken;
    if (FFilling.size() == kBlockSize) HandOver();
  }
}

// Queues the filled block for the worker (started with the first one) and
// takes a spare one to fill next.
void TBackgroundSha256::HandOver() {
  std::unique_lock<std::mutex> lock(FLock);
  if (!FWorker.joinable()) FWorker = std::thread(&TBackgroundSha256::Work, this);
  FChanged.wait(lock, [this] { return FQueue.size() < kBlocksInFlight; });
  FQueue.push_back(std::move(FFilling));
  FFilling = TBlock();
  if (!FSpare.empty()) {
    FFilling = std::move(FSpare.back());
    FSpare.pop_back();
  }
  lock.unlock();
  FChanged.notify_all();
}

void TBackgroundSha256::WaitUntilIdle(std::unique_lock<std::mutex>& lock) {
  FChanged.wait(lock, [this] { return FQueue.empty() && !FHashing; });
}

TSha256Digest TBackgroundSha256::Final() {
  std::unique_lock<std::mutex> lock(FLock);
  WaitUntilIdle(lock);
  // The worker is idle: what is left is hashed here.
  FHasher.Update(FFilling.data(), FFilling.size());
  FFilling.clear();
  if (FFailure) {
    const std::exception_ptr failure = std::exchange(FFailure, nullptr);
    FHasher.Final();  // start over
    std::rethrow_exception(failure);
  }
  return FHasher.Final();
}

void TBackgroundSha256::Work() {
  std::unique_lock<std::mutex> lock(FLock);
  for (;;) {
    FChanged.wait(lock, [this] { return FStopping || !FQueue.empty(); });
    if (FStopping) return;
    TBlock block = std::move(FQueue.front());
    FQueue.pop_front();
    FHashing = true;
    lock.unlock();
    FChanged.notify_all();  // room in the queue
    try {
      FHasher.Update(block.data(), block.size());
    } catch (...) {
      const std::lock_guard<std::mutex> failed(FLock);
      if (!FFailure) FFailure = std::current_exception();
    }
    block.clear();
    lock.lock();
    FHashing = false;
    FSpare.push_back(std::move(block));
    FChanged.notify_all();  // possibly idle now
  }
}
