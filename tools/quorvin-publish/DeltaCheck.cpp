#include "DeltaCheck.h"

#include <algorithm>

#include "engine/RebuildStream.h"
#include "platform/MappedFile.h"

namespace {

// Where the rebuilt file goes: into its digest, and nowhere else.
class THashingStream : public TStream {
 public:
  int64_t Position() const override { return FSize; }
  int64_t Size() const override { return FSize; }
  void Write(const void* data, size_t size) override {
    FHasher.Update(data, size);
    FSize += static_cast<int64_t>(size);
  }
  void CutAtPosition() override {}
  TSha256Digest Digest() { return FHasher.Final(); }

 private:
  TSha256Hasher FHasher;
  int64_t FSize = 0;
};

constexpr size_t kPiece = size_t{1} << 20;

}  // namespace

std::string RebuildFault(std::span<const uint8_t> delta, std::span<const uint8_t> base,
                         const TSha256Digest& digest, int64_t size) {
  try {
    THashingStream rebuilt;
    engine::TRebuildStream stream(rebuilt, size, base);
    for (size_t at = 0; at < delta.size(); at += kPiece)
      stream.Write(delta.data() + at, std::min(kPiece, delta.size() - at));
    stream.Finish();
    if (rebuilt.Digest() != digest) return "it rebuilds a file of another SHA-256";
    return "";
  } catch (const Exception& error) {
    return error.Message();
  }
}

std::string RebuildFault(const std::string& deltaPath, const std::string& basePath,
                         const TSha256Digest& digest, int64_t size) {
  try {
    platform::TMappedFile delta, base;
    delta.Open(deltaPath);
    if (!basePath.empty()) base.Open(basePath);
    return RebuildFault(delta.Bytes(), base.Bytes(), digest, size);
  } catch (const Exception& error) {
    return error.Message();
  }
}
