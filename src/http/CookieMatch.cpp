#include "http/CookieMatch.h"

#include <cctype>

namespace {

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

}  // namespace

namespace cookies {

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

bool IsIpAddress(std::string_view host) {
  if (host.find(':') != std::string_view::npos) return true;  // IPv6
  if (host.empty()) return false;
  for (char c : host) {
    if (!(c == '.' || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

bool DomainMatches(std::string_view host, std::string_view domain) {
  if (SameTextIgnoringCase(host, domain)) return true;
  if (domain.empty() || IsIpAddress(host) || host.size() <= domain.size()) return false;
  const std::size_t dot = host.size() - domain.size() - 1;
  return host[dot] == '.' && SameTextIgnoringCase(host.substr(dot + 1), domain);
}

std::string_view RequestDirectory(std::string_view requestPath) {
  if (requestPath.empty() || requestPath.front() != '/') return "/";
  return requestPath.substr(0, requestPath.rfind('/') + 1);
}

bool PathMatches(std::string_view requestDirectory, std::string_view cookiePath) {
  if (cookiePath.size() > requestDirectory.size()) return false;
  if (!SameTextIgnoringCase(requestDirectory.substr(0, cookiePath.size()), cookiePath))
    return false;
  if (cookiePath.size() == requestDirectory.size()) return true;
  return cookiePath.back() == '/' || requestDirectory[cookiePath.size()] == '/';
}

}  // namespace cookies
