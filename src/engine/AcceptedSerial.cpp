#include "engine/AcceptedSerial.h"

#include <algorithm>
#include <set>

#include "engine/CatalogueRelease.h"
#include "platform/Files.h"
#include "platform/ProfileText.h"
#include "util/Errors.h"

namespace engine {

namespace {

// A serial file is a number and a line of keys; more is no serial file.
constexpr int64_t kMaxFileSize = 256;
constexpr std::string_view kKeysPrefix = "keys=";

std::optional<std::string> FileText(const std::string& path) {
  const int64_t size = platform::FileSize(path);
  if (size < 0 || size > kMaxFileSize) return std::nullopt;
  try {
    return platform::ReadWholeFile(path);
  } catch (const EFOpenError&) {
    return std::nullopt;
  }
}

}  // namespace

TAcceptedSerial ReadAcceptedSerial(const std::string& programFolder) {
  const auto text = FileText(programFolder + kAcceptedSerialFileName);
  if (!text) return {};
  const size_t end = text->find_first_of("\r\n");
  const std::string_view first = std::string_view(*text).substr(0, end);
  const std::string_view rest = platform::TrimBlanks(
      end == std::string::npos ? std::string_view() : std::string_view(*text).substr(end));
  TAcceptedSerial accepted;
  if (ParseSerial(platform::TrimBlanks(first), accepted.Serial) != TSerialText::kNumber) return {};
  if (rest.empty()) return accepted;
  const auto keys =
      rest.starts_with(kKeysPrefix) ? DigestFromHex(rest.substr(kKeysPrefix.size())) : std::nullopt;
  if (!keys) return {};
  accepted.Keys = keys;
  return accepted;
}

void RecordAcceptedSerial(const std::string& programFolder, const TAcceptedSerial& accepted) {
  std::string text = std::to_string(accepted.Serial) + "\r\n";
  if (accepted.Keys) text += std::string(kKeysPrefix) + DigestHex(*accepted.Keys) + "\r\n";
  platform::WriteWholeFile(programFolder + kAcceptedSerialFileName, text.data(), text.size());
}

TSha256Digest CatalogueKeysFingerprint(const TKeyRole& catalogueKeys) {
  std::set<std::string> sorted;
  for (const TLabelledKey& key : catalogueKeys.Keys) sorted.insert(key.Key);
  std::string joined;
  for (const std::string& key : sorted) joined += key;
  return Sha256(joined);
}

uint64_t SerialToReach(const TAcceptedSerial& accepted, const TRoot& current,
                       const TRoot& builtIn) {
  const TSha256Digest keys = CatalogueKeysFingerprint(current.CatalogueKeys);
  const TSha256Digest recordedUnder =
      accepted.Keys ? *accepted.Keys : CatalogueKeysFingerprint(builtIn.CatalogueKeys);
  const uint64_t recorded = recordedUnder == keys ? accepted.Serial : 0;
  return std::max(recorded, current.SerialFloor);
}

}  // namespace engine
