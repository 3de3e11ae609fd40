#include "platform/UnfinishedWrite.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <string_view>

#include "platform/TextEncoding.h"

namespace platform {
namespace {

constexpr std::string_view kUnfinishedWriteMarker = ".{T}";

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::string NewTempPathBeside(const std::string& folder, const std::string& name) {
  static std::atomic<unsigned> counter{0};
  std::string path = folder;
  path += '.';
  path += name;
  path += kUnfinishedWriteMarker;
  path += std::to_string(::getpid());
  path += '_';
  path += std::to_string(counter++);
  return path;
}

bool IsUnfinishedWrite(const std::string& entry, const std::string& name) {
  const size_t marker = entry.rfind(kUnfinishedWriteMarker);
  if (entry.empty() || entry[0] != '.' || marker == std::string::npos || marker < 2) return false;
  const std::string_view tail =
      std::string_view(entry).substr(marker + kUnfinishedWriteMarker.size());
  const size_t underscore = tail.find('_');
  if (underscore == std::string_view::npos || !AllDigits(tail.substr(0, underscore)) ||
      !AllDigits(tail.substr(underscore + 1)))
    return false;
  return name.empty() || SameTextIgnoringCase(entry.substr(1, marker - 1), name);
}

}  // namespace platform
