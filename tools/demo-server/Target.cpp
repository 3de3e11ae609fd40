#include "Target.h"

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> PercentDecode(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      decoded += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    int high = HexValue(text[i + 1]), low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    decoded += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return decoded;
}

// "http://host:port/path" gives "/path"; an origin-form target is kept.
std::optional<std::string_view> OriginPath(std::string_view target) {
  if (target.starts_with("/")) return target;
  size_t scheme = target.find("://");
  if (scheme == std::string_view::npos) return std::nullopt;
  size_t path = target.find('/', scheme + 3);
  return path == std::string_view::npos ? std::string_view("/") : target.substr(path);
}

bool SafeSegment(const std::string& segment) {
  return !segment.empty() && segment != "." && segment != ".." &&
         segment.find('\0') == std::string::npos && segment.find('\\') == std::string::npos;
}

}  // namespace

std::optional<std::vector<std::string>> TargetSegments(std::string_view target) {
  target = target.substr(0, target.find_first_of("?#"));
  auto path = OriginPath(target);
  if (!path) return std::nullopt;
  path->remove_prefix(1);  // the leading "/"
  if (path->ends_with("/")) path->remove_suffix(1);

  std::vector<std::string> segments;
  while (!path->empty()) {
    size_t slash = path->find('/');
    // Decode each segment on its own, so "%2F" cannot smuggle in a separator.
    auto segment = PercentDecode(path->substr(0, slash));
    if (!segment || !SafeSegment(*segment) || segment->find('/') != std::string::npos)
      return std::nullopt;
    segments.push_back(*segment);
    if (slash == std::string_view::npos) break;
    path->remove_prefix(slash + 1);
  }
  return segments;
}
