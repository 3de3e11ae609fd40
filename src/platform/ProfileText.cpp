#include "platform/ProfileText.h"

#include <cstdint>

#include "platform/TextEncoding.h"

namespace platform {

std::vector<std::string_view> SplitProfileLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
  return lines;
}

std::string_view TrimBlanks(std::string_view text) {
  const auto blank = [](char ch) { return static_cast<unsigned char>(ch) <= ' '; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

ProfileLine ClassifyProfileLine(std::string_view line) {
  ProfileLine result;
  const size_t nul = line.find('\0');
  if (nul != std::string_view::npos) line = line.substr(0, nul);
  line = TrimBlanks(line);
  if (line.empty() || line.front() == ';' || line.front() == '#') return result;
  if (line.front() == '[') {
    const size_t close = line.find(']');
    if (close != std::string_view::npos) {
      result.kind = ProfileLine::kSection;
      result.name = TrimBlanks(line.substr(1, close - 1));
    }
    return result;
  }
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos) return result;
  result.name = TrimBlanks(line.substr(0, equals));
  if (result.name.empty()) return result;
  result.kind = ProfileLine::kEntry;
  result.value = TrimBlanks(line.substr(equals + 1));
  return result;
}

}  // namespace platform
