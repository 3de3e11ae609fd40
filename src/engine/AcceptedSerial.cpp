#include "engine/AcceptedSerial.h"

#include "engine/CatalogueRelease.h"
#include "platform/Files.h"
#include "platform/ProfileText.h"
#include "util/Errors.h"

namespace engine {

namespace {

// A serial file is a number and a line end; more is no serial file.
constexpr int64_t kMaxFileSize = 64;

}  // namespace

uint64_t ReadAcceptedSerial(const std::string& programFolder) {
  const std::string path = programFolder + kAcceptedSerialFileName;
  const int64_t size = platform::FileSize(path);
  if (size < 0 || size > kMaxFileSize) return 0;
  std::string text;
  try {
    text = platform::ReadWholeFile(path);
  } catch (const EFOpenError&) {
    return 0;
  }
  uint64_t serial = 0;
  return ParseSerial(platform::TrimBlanks(text), serial) == TSerialText::kNumber ? serial : 0;
}

void RecordAcceptedSerial(const std::string& programFolder, uint64_t serial) {
  const std::string text = std::to_string(serial) + "\r\n";
  platform::WriteWholeFile(programFolder + kAcceptedSerialFileName, text.data(), text.size());
}

}  // namespace engine
