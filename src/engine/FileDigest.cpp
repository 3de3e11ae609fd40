#include "engine/FileDigest.h"

#include "platform/FileBlocks.h"

namespace engine {

std::optional<TFileDigest> DigestOfFile(const std::string& path, bool followLink) {
  TSha256Hasher hasher;
  int64_t size = 0;
  const bool read = platform::ReadFileBlocks(
      path,
      [&](const char* data, size_t count) {
        hasher.Update(data, count);
        size += static_cast<int64_t>(count);
      },
      followLink);
  if (!read) return std::nullopt;
  return TFileDigest{hasher.Final(), size};
}

}  // namespace engine
