#include "platform/ProgramFolder.h"

#include <unistd.h>

#include <climits>

#include "platform/PathParts.h"

namespace platform {
namespace {

std::string& ProgramFolderOverride() {
  static std::string folder;
  return folder;
}

}  // namespace

std::string ProgramFolder() {
  if (!ProgramFolderOverride().empty()) return ProgramFolderOverride();
  char buffer[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return "./";
  std::string folder, name;
  SplitFolderAndName(std::string(buffer, static_cast<size_t>(length)), folder, name);
  return folder;
}

void SetProgramFolderForTesting(const std::string& folder) {
  ProgramFolderOverride() = folder.empty() || folder.back() == '/' ? folder : folder + "/";
}

}  // namespace platform
