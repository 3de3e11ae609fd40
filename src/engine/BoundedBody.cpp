#include "engine/BoundedBody.h"

#include <algorithm>

namespace engine {

void TBoundedBody::Write(const void* data, size_t size) {
  if (static_cast<int64_t>(size) > FCap - FBody.Position()) FRefuse();
  FBody.Write(data, size);
}

void TBoundedBody::ExpectMore(int64_t bytes) {
  FBody.ExpectMore(std::min(bytes, FCap - FBody.Position()));
}

std::string_view TBoundedBody::Bytes() const {
  return {FBody.Data() ? FBody.Data() : "", static_cast<size_t>(FBody.Size())};
}

}  // namespace engine
