#pragma once
// The in-memory stream a GET may write its body into.  Position and size are
// independent: writing at the position overwrites and grows the stream as
// needed; setting the size truncates or extends it.  Growth reserves
// geometrically and uses realloc, so a large body fills without quadratic
// copying (the C library moves big blocks by remapping pages).
//
// A stream made with a keep limit never holds more than that many bytes: a
// write keeps the part that lies below the limit and drops the rest, and
// neither position nor size ever passes the limit.  The client reads error
// bodies into such a stream, so a huge one costs no memory.
#include <cstddef>
#include <cstdint>
#include <limits>

#include "http/Stream.h"

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(int64_t keepLimit);
  ~TMemoryStream() override;
  TMemoryStream(const TMemoryStream&) = delete;
  TMemoryStream& operator=(const TMemoryStream&) = delete;

  int64_t Position() const override { return FPosition; }
  // Any non-negative position, also beyond the end (a later write fills the gap).
  void SetPosition(int64_t position);
  int64_t Size() const override { return FSize; }
  // Truncates or extends; the position moves back when it lies past the new end.
  void SetSize(int64_t size);
  // Writes at the position and advances it, growing the stream as needed.
  void Write(const void* data, size_t size) override;
  void CutAtPosition() override { SetSize(FPosition); }
  // Makes room for that many more bytes after the position (never beyond
  // the keep limit); size and position stay as they are.
  void ExpectMore(int64_t bytes) override;
  // The Size() bytes of the stream (nullptr while empty).
  const char* Data() const { return FData; }
  // Frees the memory; size and position become 0.
  void Clear();
  // Bytes that writes handed over but the keep limit dropped.
  int64_t DroppedByteCount() const { return FDropped; }

 private:
  void Reserve(int64_t capacity);
  void Populate(int64_t end);

  // Streams at least this large have their memory made present ahead of the
  // writes, this much at a time.
  static constexpr int64_t kPopulateBatch = 8 << 20;

  char* FData = nullptr;
  int64_t FSize = 0;
  int64_t FCapacity = 0;
  int64_t FPosition = 0;
  int64_t FPopulated = 0;  // bytes from the start known to be backed by memory
  int64_t FKeepLimit = std::numeric_limits<int64_t>::max();
  int64_t FDropped = 0;
};
