#include "engine/InstalledCopy.h"

#include "http/MessagePump.h"
#include "platform/ContainedFolder.h"
#include "platform/Errors.h"
#include "platform/Files.h"

namespace engine {

bool TInstalledCopy::Open(const std::string& programFolder, const std::string& folder,
                          const std::string& bare) {
  FMapping.Close();
  if (!folder.starts_with(programFolder)) return false;
  platform::TContainedFolder reached;
  if (!reached.Open(programFolder, folder.substr(programFolder.size()))) return false;
  // Hashed as it is copied, a block at a time, so the window answers while
  // a large copy is read.
  TSha256Hasher hasher;
  try {
    FMapping.OpenPrivateCopy(platform::ResolvePath(reached.Path() + bare), programFolder,
                             [&](std::span<const uint8_t> block) {
                               hasher.Update(block.data(), block.size());
                               TMessagePump::TurnIfDue();
                             });
  } catch (const EFOpenError&) {
    return false;
  }
  FSha256 = hasher.Final();
  return true;
}

}  // namespace engine
