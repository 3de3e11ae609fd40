#include "http/HttpRecords.h"

#include <cctype>
#include <charconv>

namespace {

// A whole trimmed text as a signed 64-bit decimal number; false otherwise
// (also when it does not fit).
bool ParseInt64(const std::string& text, int64_t& value) {
  std::string trimmed = TrimText(text);
  const char* first = trimmed.data();
  const char* last = first + trimmed.size();
  if (first != last && *first == '+') ++first;
  auto [end, error] = std::from_chars(first, last, value);
  return error == std::errc() && end == last && first != last;
}

std::string LowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The "charset" parameter of a Content-Type value, unquoted.
std::string CharSetOf(const std::string& contentType) {
  size_t at = 0;
  while ((at = contentType.find(';', at)) != std::string::npos) {
    ++at;
    size_t equals = contentType.find('=', at);
    if (equals == std::string::npos) break;
    if (LowerCase(TrimText(contentType.substr(at, equals - at))) != "charset") continue;
    size_t end = contentType.find(';', equals);
    std::string value = TrimText(contentType.substr(equals + 1, end - equals - 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    return value;
  }
  return "";
}

}  // namespace

int StatusCodeOf(const std::string& statusLine) {
  size_t space = statusLine.find(' ');
  if (space == std::string::npos) return -1;
  std::string rest = TrimText(statusLine.substr(space + 1));
  std::string word = rest.substr(0, rest.find(' '));
  int64_t code = 0;
  if (!ParseInt64(word, code) || code < INT32_MIN || code > INT32_MAX) return -1;
  return static_cast<int>(code);
}

int THttpResponse::ResponseCode() const { return StatusCodeOf(ResponseText); }

void THttpResponse::Reset() {
  RawHeaders.Clear();
  ContentLength = -1;
  TransferEncoding = Connection = ProxyConnection = Location = ContentType = CharSet = "";
}

void THttpResponse::ParseHeaders() {
  ResponseVersion = ResponseText.size() >= 8 && ResponseText.compare(5, 3, "1.1") == 0
                        ? THttpVersion::pv1_1
                        : THttpVersion::pv1_0;
  int64_t length = -1;
  ContentLength = ParseInt64(RawHeaders.Values("Content-Length"), length) ? length : -1;
  if (ContentLength < 0) ContentLength = -1;
  TransferEncoding = RawHeaders.Values("Transfer-Encoding");
  Connection = RawHeaders.Values("Connection");
  ProxyConnection = RawHeaders.Values("Proxy-Connection");
  Location = RawHeaders.Values("Location");
  ContentType = RawHeaders.Values("Content-Type");
  CharSet = CharSetOf(ContentType);
}
