#include "http/MemoryStream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "util/Errors.h"

TMemoryStream::~TMemoryStream() { std::free(FData); }

void TMemoryStream::SetPosition(int64_t position) { FPosition = std::max<int64_t>(position, 0); }

void TMemoryStream::SetSize(int64_t size) {
  size = std::max<int64_t>(size, 0);
  Reserve(size);
  FSize = size;
  if (FPosition > FSize) FPosition = FSize;
}

void TMemoryStream::Write(const void* data, size_t size) {
  if (size == 0) return;
  int64_t end = FPosition + static_cast<int64_t>(size);
  if (end > FCapacity) Reserve(std::max(end, FCapacity + FCapacity / 2));
  if (FPosition > FSize) std::memset(FData + FSize, 0, static_cast<size_t>(FPosition - FSize));
  std::memcpy(FData + FPosition, data, size);
  FPosition = end;
  FSize = std::max(FSize, end);
}

void TMemoryStream::Clear() {
  std::free(FData);
  FData = nullptr;
  FSize = FCapacity = FPosition = 0;
}

void TMemoryStream::Reserve(int64_t capacity) {
  if (capacity <= FCapacity) return;
  // Round small buffers up so that many tiny writes do not reallocate often.
  capacity = std::max<int64_t>(capacity, 4096);
  void* grown = std::realloc(FData, static_cast<size_t>(capacity));
  if (grown == nullptr) RaiseOutOfMemory();
  FData = static_cast<char*>(grown);
  FCapacity = capacity;
}
