#include "engine/SignatureLines.h"

#include <algorithm>
#include <set>

#include "platform/ProfileText.h"
#include "util/Base64.h"
#include "util/Ed25519.h"

namespace engine {

namespace {

std::optional<std::string> Decoded(std::string_view text, size_t size) {
  auto bytes = DecodeBase64(text);
  if (!bytes || bytes->size() != size) return std::nullopt;
  return bytes;
}

std::optional<TSignatureLine> ReadLine(std::string_view line) {
  const size_t blank = line.find_first_of(" \t");
  if (blank == std::string_view::npos) {
    auto signature = Decoded(line, kEd25519SignatureSize);
    if (!signature) return std::nullopt;
    return TSignatureLine{std::nullopt, *signature};
  }
  auto key = Decoded(line.substr(0, blank), kEd25519PublicKeySize);
  auto signature = Decoded(platform::TrimBlanks(line.substr(blank)), kEd25519SignatureSize);
  if (!key || !signature) return std::nullopt;
  return TSignatureLine{*key, *signature};
}

// The file's lines, split at CR and LF only: every other byte, a NUL
// included, belongs to its line and must be part of a valid one.
std::vector<std::string_view> Lines(std::string_view file) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start <= file.size()) {
    const size_t end = std::min(file.find_first_of("\r\n", start), file.size());
    lines.push_back(file.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace

std::optional<std::vector<TSignatureLine>> ReadSignatureLines(std::string_view file) {
  if (file.size() > kMaxSignatureFileSize) return std::nullopt;
  std::vector<TSignatureLine> lines;
  for (const std::string_view raw : Lines(file)) {
    const std::string_view line = platform::TrimBlanks(raw);
    if (line.empty()) continue;
    auto read = ReadLine(line);
    if (!read || lines.size() == kMaxSignatureLines) return std::nullopt;
    lines.push_back(std::move(*read));
  }
  return lines;
}

int CountSigners(std::string_view message, const std::vector<TSignatureLine>& lines,
                 const TKeyRole& role) {
  std::set<std::string> signers;
  for (const TSignatureLine& line : lines) {
    for (const TLabelledKey& key : role.Keys) {
      if (line.Key && *line.Key != key.Key) continue;
      if (signers.count(key.Key)) continue;
      if (VerifyEd25519(message, line.Signature, key.Key)) {
        signers.insert(key.Key);
        break;
      }
    }
  }
  return static_cast<int>(signers.size());
}

std::string NamedSignatureLine(const std::string& key, const std::string& signature) {
  return EncodeBase64(key) + " " + EncodeBase64(signature) + "\n";
}

}  // namespace engine
