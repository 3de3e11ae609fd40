#include "http/MemoryStream.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "util/Errors.h"

TMemoryStream::TMemoryStream(int64_t keepLimit) : FKeepLimit(std::max<int64_t>(keepLimit, 0)) {}

TMemoryStream::~TMemoryStream() { std::free(FData); }

void TMemoryStream::SetPosition(int64_t position) {
  FPosition = std::clamp<int64_t>(position, 0, FKeepLimit);
}

void TMemoryStream::SetSize(int64_t size) {
  size = std::clamp<int64_t>(size, 0, FKeepLimit);
  Reserve(size);
  FSize = size;
  if (FPosition > FSize) FPosition = FSize;
}

void TMemoryStream::Write(const void* data, size_t size) {
  const size_t room = static_cast<size_t>(FKeepLimit - FPosition);
  if (size > room) {
    FDropped += static_cast<int64_t>(size - room);
    size = room;
  }
  if (size == 0) return;
  int64_t end = FPosition + static_cast<int64_t>(size);
  if (end > FCapacity) Reserve(std::min(FKeepLimit, std::max(end, FCapacity + FCapacity / 2)));
  if (FPosition > FSize) std::memset(FData + FSize, 0, static_cast<size_t>(FPosition - FSize));
  Populate(end);
  std::memcpy(FData + FPosition, data, size);
  FPosition = end;
  FSize = std::max(FSize, end);
}

void TMemoryStream::ExpectMore(int64_t bytes) {
  if (bytes > 0) Reserve(FPosition + std::min(bytes, FKeepLimit - FPosition));
}

void TMemoryStream::Clear() {
  std::free(FData);
  FData = nullptr;
  FSize = FCapacity = FPosition = FPopulated = FDropped = 0;
}

void TMemoryStream::Reserve(int64_t capacity) {
  if (capacity <= FCapacity) return;
  // Round small buffers up so that many tiny writes do not reallocate often.
  capacity = std::max<int64_t>(capacity, 4096);
  void* grown = std::realloc(FData, static_cast<size_t>(capacity));
  if (grown == nullptr) RaiseOutOfMemory();
  FData = static_cast<char*>(grown);
  FCapacity = capacity;
  FPopulated = std::min(FPopulated, FCapacity);
}

// Faulting fresh memory in one page at a time costs more than copying into
// it (on virtual machines especially), so a large stream has its memory
// made present ahead of the writes, in batches, by the kernel.
void TMemoryStream::Populate(int64_t end) {
  if (end <= FPopulated || FCapacity < kPopulateBatch) return;
  int64_t from = FPopulated & ~int64_t{4095};
  int64_t to = std::min(FCapacity, std::max(end, FPopulated + kPopulateBatch));
  uintptr_t begin =
      (reinterpret_cast<uintptr_t>(FData) + static_cast<uintptr_t>(from)) & ~uintptr_t{4095};
  uintptr_t limit = reinterpret_cast<uintptr_t>(FData) + static_cast<uintptr_t>(to);
#ifdef MADV_POPULATE_WRITE
  // Huge pages make the batch present in 2 MiB steps instead of 4 KiB ones.
  madvise(reinterpret_cast<void*>(begin), limit - begin, MADV_HUGEPAGE);
  madvise(reinterpret_cast<void*>(begin), limit - begin, MADV_POPULATE_WRITE);
#endif
  FPopulated = to;
}
