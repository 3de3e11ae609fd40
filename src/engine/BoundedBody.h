#pragma once
// A response body kept in memory up to a cap.  The write that would pass
// the cap raises the caller's error instead, so the transfer is cut there
// and a hostile server cannot make the body, and memory, grow without bound.
#include <functional>
#include <string_view>

#include "http/MemoryStream.h"

namespace engine {

class TBoundedBody : public TStream {
 public:
  // `refuse` raises the error that names what was too large.
  TBoundedBody(int64_t cap, std::function<void()> refuse) : FCap(cap), FRefuse(std::move(refuse)) {}

  int64_t Position() const override { return FBody.Position(); }
  int64_t Size() const override { return FBody.Size(); }
  void Write(const void* data, size_t size) override;
  void CutAtPosition() override { FBody.CutAtPosition(); }
  void ExpectMore(int64_t bytes) override;

  std::string_view Bytes() const;

 private:
  int64_t FCap;
  std::function<void()> FRefuse;
  TMemoryStream FBody;
};

}  // namespace engine
