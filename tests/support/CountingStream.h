#pragma once
// A stream that only counts what is written into it: where a test, a fuzz
// target or a benchmark needs the bytes to go nowhere.
#include "http/Stream.h"

class TCountingStream : public TStream {
 public:
  int64_t Position() const override { return FSize; }
  int64_t Size() const override { return FSize; }
  void Write(const void*, size_t size) override { FSize += static_cast<int64_t>(size); }
  void CutAtPosition() override {}

 private:
  int64_t FSize = 0;
};
