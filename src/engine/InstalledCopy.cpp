#include "engine/InstalledCopy.h"

#include <algorithm>

#include "http/MessagePump.h"
#include "platform/ContainedFolder.h"
#include "platform/Errors.h"
#include "platform/Files.h"

namespace engine {

namespace {

// Hashed a slice at a time, so the window answers while a large copy is read.
constexpr size_t kHashSlice = size_t{1} << 20;

TSha256Digest HashWithTurns(std::span<const uint8_t> bytes) {
  TSha256Hasher hasher;
  for (size_t at = 0; at < bytes.size(); at += kHashSlice) {
    hasher.Update(bytes.data() + at, std::min(kHashSlice, bytes.size() - at));
    TMessagePump::TurnIfDue();
  }
  return hasher.Final();
}

}  // namespace

bool TInstalledCopy::Open(const std::string& programFolder, const std::string& folder,
                          const std::string& bare) {
  FMapping.Close();
  if (!folder.starts_with(programFolder)) return false;
  platform::TContainedFolder reached;
  if (!reached.Open(programFolder, folder.substr(programFolder.size()))) return false;
  try {
    FMapping.OpenPrivateCopy(platform::ResolvePath(reached.Path() + bare), programFolder,
                             [] { TMessagePump::TurnIfDue(); });
  } catch (const EFOpenError&) {
    return false;
  }
  FSha256 = HashWithTurns(FMapping.Bytes());
  return true;
}

}  // namespace engine
