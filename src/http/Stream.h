#pragma once
// What a GET writes a response body into: bytes written one after another
// at a position.  A body may go into memory (TMemoryStream: the catalogue,
// its signature, error bodies) or straight into a file (TFileStream: a
// download), so that a download costs the same memory at any size.
#include <cstddef>
#include <cstdint>

class TStream {
 public:
  virtual ~TStream() = default;

  virtual int64_t Position() const = 0;
  virtual int64_t Size() const = 0;
  // Writes at the position and advances it.  May raise: a full disk, a
  // stream that refuses to grow any further.
  virtual void Write(const void* data, size_t size) = 0;
  // Drops whatever lies beyond the position.
  virtual void CutAtPosition() = 0;
  // A hint that about this many more bytes are coming.  A memory stream
  // makes room for them at once, so it is not reallocated while it fills;
  // a file stream ignores it (a file is never grown ahead of its data).
  virtual void ExpectMore(int64_t bytes) { (void)bytes; }
};
