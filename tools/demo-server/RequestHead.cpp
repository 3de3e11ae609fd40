#include "RequestHead.h"

#include <strings.h>

#include <algorithm>
#include <cctype>

namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool IsTokenChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) ||
         std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

// Splits the head into lines, dropping the CR of CR LF endings.
std::vector<std::string_view> Lines(std::string_view head) {
  std::vector<std::string_view> lines;
  while (!head.empty()) {
    size_t end = head.find('\n');
    std::string_view line = head.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    head.remove_prefix(end + 1);
  }
  return lines;
}

std::optional<HeadError> ParseRequestLine(std::string_view line, RequestHead& request) {
  size_t first = line.find(' ');
  size_t last = line.rfind(' ');
  if (first == std::string_view::npos || first == last) return HeadError{400, "Bad Request"};
  request.method = line.substr(0, first);
  request.target = line.substr(first + 1, last - first - 1);
  std::string_view version = line.substr(last + 1);
  if (request.method.empty() || request.target.empty() ||
      !std::all_of(request.method.begin(), request.method.end(), IsTokenChar) ||
      request.target.find(' ') != std::string::npos)
    return HeadError{400, "Bad Request"};
  if (version.size() != 8 || version.substr(0, 5) != "HTTP/" || version[6] != '.' ||
      !std::isdigit(static_cast<unsigned char>(version[5])) ||
      !std::isdigit(static_cast<unsigned char>(version[7])))
    return HeadError{400, "Bad Request"};
  if (version[5] != '1') return HeadError{505, "HTTP Version Not Supported"};
  request.minorVersion = version[7] - '0';
  return std::nullopt;
}

}  // namespace

std::optional<std::string> RequestHead::Field(std::string_view name) const {
  for (const auto& [fieldName, value] : fields)
    if (SameText(fieldName, name)) return value;
  return std::nullopt;
}

bool HasToken(std::string_view value, std::string_view token) {
  while (!value.empty()) {
    size_t comma = value.find(',');
    if (SameText(Trim(value.substr(0, comma)), token)) return true;
    if (comma == std::string_view::npos) break;
    value.remove_prefix(comma + 1);
  }
  return false;
}

bool RequestHead::KeepAlive() const {
  std::string connection = Field("Connection").value_or("");
  if (HasToken(connection, "close")) return false;
  return minorVersion >= 1 || HasToken(connection, "keep-alive");
}

std::variant<RequestHead, HeadError> ParseRequestHead(std::string_view head) {
  std::vector<std::string_view> lines = Lines(head);
  size_t index = 0;
  while (index < lines.size() && lines[index].empty()) ++index;
  if (index == lines.size()) return HeadError{400, "Bad Request"};

  RequestHead request;
  if (auto error = ParseRequestLine(lines[index++], request)) return *error;
  for (; index < lines.size(); ++index) {
    std::string_view line = lines[index];
    if (line.empty()) break;
    // Folded continuation lines are obsolete; a server may reject them.
    if (line.front() == ' ' || line.front() == '\t') return HeadError{400, "Bad Request"};
    size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return HeadError{400, "Bad Request"};
    std::string_view name = line.substr(0, colon);
    if (!std::all_of(name.begin(), name.end(), IsTokenChar)) return HeadError{400, "Bad Request"};
    request.fields.emplace_back(std::string(name), std::string(Trim(line.substr(colon + 1))));
  }
  if (request.minorVersion >= 1 && !request.Field("Host")) return HeadError{400, "Bad Request"};
  return request;
}
