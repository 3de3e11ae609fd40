#include "ui/LookOptions.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <sstream>

namespace {

std::string Trim(const std::string& text) {
  const char* blanks = " \t\r\n";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

}  // namespace

TLookOptions TLookOptions::Parse(const std::string& text) {
  TLookOptions options;
  std::istringstream lines(text);
  std::string line, section;
  while (std::getline(lines, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == ';') continue;
    if (line.front() == '[' && line.back() == ']') {
      section = Upper(Trim(line.substr(1, line.size() - 2)));
      options.FSections[section];
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string::npos || section.empty()) continue;
    options.FSections[section][Upper(Trim(line.substr(0, equals)))] = Trim(line.substr(equals + 1));
  }
  return options;
}

bool TLookOptions::HasSection(const std::string& section) const {
  return FSections.count(Upper(section)) != 0;
}

std::string TLookOptions::Text(const std::string& section, const std::string& key,
                               const std::string& fallback) const {
  const auto found = FSections.find(Upper(section));
  if (found == FSections.end()) return fallback;
  const auto value = found->second.find(Upper(key));
  return value == found->second.end() ? fallback : value->second;
}

int TLookOptions::Number(const std::string& section, const std::string& key, int fallback) const {
  const std::string text = Text(section, key);
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return fallback;
  return value;
}

std::optional<uint32_t> TLookOptions::Colour(const std::string& section,
                                             const std::string& key) const {
  const std::string text = Text(section, key);
  if (text.size() != 7 || text[0] != '#') return std::nullopt;
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data() + 1, text.data() + 7, value, 16);
  if (error != std::errc() || end != text.data() + 7) return std::nullopt;
  return value;
}
