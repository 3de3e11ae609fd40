#pragma once
// The head of one HTTP/1.x request: request line and header fields, parsed
// from the bytes up to (not including) the empty line that ends them.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

struct RequestHead {
  std::string method;
  std::string target;    // as sent: origin form ("/a/b?q") or absolute form
  int minorVersion = 1;  // HTTP/1.<minorVersion>
  std::vector<std::pair<std::string, std::string>> fields;

  // The first field of that name (names compare without regard to case).
  std::optional<std::string> Field(std::string_view name) const;
  // Whether the client lets the connection live on after this exchange:
  // HTTP/1.1 unless it says "close", HTTP/1.0 only when it says "keep-alive".
  bool KeepAlive() const;
};

// The status to answer with when a head cannot be served as a request.
struct HeadError {
  int status;  // 400 or 505
  std::string reason;
};

// Parses a head; line ends may be CR LF or a bare LF.  Empty lines in front
// of the request line are skipped, as HTTP/1.1 allows.
std::variant<RequestHead, HeadError> ParseRequestHead(std::string_view head);

// Whether a comma separated field value holds the token (any letter case).
bool HasToken(std::string_view value, std::string_view token);
