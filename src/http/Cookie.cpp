#include "http/Cookie.h"

#include <cctype>
#include <limits>

#include "http/CookieMatch.h"

using cookies::DomainMatches;
using cookies::SameTextIgnoringCase;

// ---------------------------------------------------------------------------
// The cookie record.

TCookie::TCookie(const TCookie& other)
    : Name(other.Name),
      Value(other.Value),
      Domain(other.Domain),
      Path(other.Path),
      HostOnly(other.HostOnly),
      Secure(other.Secure),
      HttpOnly(other.HttpOnly),
      Persistent(other.Persistent),
      Expiry(other.Expiry),
      Creation(other.Creation),
      FLastAccessMs(other.FLastAccessMs.load()) {}

TCookie& TCookie::operator=(const TCookie& other) {
  Name = other.Name;
  Value = other.Value;
  Domain = other.Domain;
  Path = other.Path;
  HostOnly = other.HostOnly;
  Secure = other.Secure;
  HttpOnly = other.HttpOnly;
  Persistent = other.Persistent;
  Expiry = other.Expiry;
  Creation = other.Creation;
  FLastAccessMs.store(other.FLastAccessMs.load());
  return *this;
}

TCookieTime TCookie::LastAccess() const {
  return TCookieTime{std::chrono::milliseconds{FLastAccessMs.load()}};
}

void TCookie::Touch(TCookieTime now) const { FLastAccessMs.store(now.time_since_epoch().count()); }

// ---------------------------------------------------------------------------
// Text helpers.

namespace {

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

std::string LowerCase(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = Lower(c);
  return result;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// A value that begins with a double quote is what lies between that quote and
// the next one (or the end, when the closing quote is missing).
std::string_view Unquote(std::string_view value) {
  if (value.empty() || value.front() != '"') return value;
  value.remove_prefix(1);
  const std::size_t close = value.find('"');
  return close == std::string_view::npos ? value : value.substr(0, close);
}

// Control characters other than tab would end up raw in our own request
// header (a lone CR or NUL can split or cut the line), so such cookies are
// refused.
bool HasControlCharacter(std::string_view text) {
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c < 0x20 && c != '\t') || c == 0x7F) return true;
  }
  return false;
}

// An optional "-" and one or more decimal digits; a number too large for
// 64 bits saturates, which only makes a lifetime longer or shorter than the
// jar can tell apart anyway.
std::optional<long long> ParseInteger(std::string_view text) {
  bool negative = false;
  if (!text.empty() && text.front() == '-') {
    negative = true;
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  constexpr long long kMax = std::numeric_limits<long long>::max();
  long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const int digit = c - '0';
    value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
  }
  return negative ? -value : value;
}

// "Seconds from now", kept between the jar's earliest and latest times so
// that no arithmetic overflows.  Zero or less means expired.
TCookieTime ExpiryAfterSeconds(long long seconds, TCookieTime now) {
  if (seconds <= 0) return CookieLongExpired();
  const auto latest = CookieNeverExpires();
  const long long secondsLeft =
      std::chrono::duration_cast<std::chrono::seconds>(latest - now).count();
  if (seconds >= secondsLeft) return latest;
  return now + std::chrono::seconds{seconds};
}

// The path a cookie gets when the server names none: the request path up to
// but not including its last "/", or "/".
std::string DefaultPath(std::string_view requestPath) {
  if (requestPath.empty() || requestPath.front() != '/') return "/";
  const std::size_t lastSlash = requestPath.rfind('/');
  if (lastSlash == 0) return "/";
  return std::string(requestPath.substr(0, lastSlash));
}

// ---------------------------------------------------------------------------
// Reading one "Set-Cookie" value.

// The attributes of one value, each holding its last usable occurrence.
struct CookieAttributes {
  std::optional<long long> maxAge;
  std::optional<TCookieTime> expires;
  std::optional<std::string> domain;
  std::optional<std::string> path;
  bool secure = false;
  bool httpOnly = false;
};

void ReadExpires(std::string_view value, TCookieTime now, CookieAttributes& attrs) {
  if (const auto seconds = ParseInteger(value)) {
    attrs.expires = ExpiryAfterSeconds(*seconds, now);
  } else if (const auto date = ParseCookieDate(value)) {
    attrs.expires = *date;
  }
}

void ReadAttribute(std::string_view name, std::string_view value, TCookieTime now,
                   CookieAttributes& attrs) {
  if (SameTextIgnoringCase(name, "Secure")) {
    attrs.secure = true;
  } else if (SameTextIgnoringCase(name, "HttpOnly")) {
    attrs.httpOnly = true;
  } else if (value.size() > kMaxCookieAttributeValueBytes) {
    return;  // no sane attribute value is this long
  } else if (SameTextIgnoringCase(name, "Max-Age")) {
    if (const auto seconds = ParseInteger(value)) attrs.maxAge = seconds;
  } else if (SameTextIgnoringCase(name, "Expires")) {
    ReadExpires(value, now, attrs);
  } else if (SameTextIgnoringCase(name, "Domain")) {
    if (!value.empty()) attrs.domain = std::string(value);
  } else if (SameTextIgnoringCase(name, "Path")) {
    if (!value.empty() && value.front() == '/') attrs.path = std::string(value);
  }
}

// Walks the ";"-separated attributes after the name and value once.
CookieAttributes ReadAttributes(std::string_view rest, TCookieTime now) {
  CookieAttributes attrs;
  while (!rest.empty()) {
    const std::size_t semicolon = rest.find(';');
    const std::string_view item = rest.substr(0, semicolon);
    rest = semicolon == std::string_view::npos ? std::string_view() : rest.substr(semicolon + 1);
    const std::size_t equals = item.find('=');
    const std::string_view name = Trim(item.substr(0, equals));
    const std::string_view value = equals == std::string_view::npos
                                       ? std::string_view()
                                       : Unquote(Trim(item.substr(equals + 1)));
    ReadAttribute(name, value, now, attrs);
  }
  return attrs;
}

bool IsHttpProtocol(std::string_view protocol) {
  return SameTextIgnoringCase(protocol, "http") || SameTextIgnoringCase(protocol, "https");
}

// Domain, host-only flag and the check that the request host belongs to the
// named domain.  False when the cookie must be dropped.  A stored domain
// never begins with ".": the one leading "." of a "Domain" value is dropped,
// and a value that still begins with one (or a host that does) names no
// domain at all.
bool ApplyDomain(const CookieAttributes& attrs, const TCookieRequest& request, TCookie& cookie) {
  if (!attrs.domain) {
    cookie.HostOnly = true;
    cookie.Domain = LowerCase(request.Host);
  } else {
    std::string_view domain = *attrs.domain;
    if (domain.front() == '.') domain.remove_prefix(1);
    cookie.HostOnly = false;
    cookie.Domain = LowerCase(domain);
    if (!DomainMatches(request.Host, cookie.Domain)) return false;
  }
  return cookie.Domain.empty() || cookie.Domain.front() != '.';
}

void ApplyExpiry(const CookieAttributes& attrs, TCookieTime now, TCookie& cookie) {
  if (attrs.maxAge) {
    cookie.Persistent = true;
    cookie.Expiry = ExpiryAfterSeconds(*attrs.maxAge, now);
  } else if (attrs.expires) {
    cookie.Persistent = true;
    cookie.Expiry = *attrs.expires;
  } else {
    cookie.Persistent = false;
    cookie.Expiry = CookieNeverExpires();
  }
}

}  // namespace

std::optional<TCookie> ParseSetCookie(std::string_view setCookie, const TCookieRequest& request,
                                      TCookieTime now) {
  const std::size_t semicolon = setCookie.find(';');
  const std::string_view pair = setCookie.substr(0, semicolon);
  const std::size_t equals = pair.find('=');
  if (equals == std::string_view::npos) return std::nullopt;

  TCookie cookie;
  const std::string_view name = Trim(pair.substr(0, equals));
  const std::string_view value = Unquote(Trim(pair.substr(equals + 1)));
  if (name.empty() || name.size() + value.size() > kMaxCookieNameValueBytes) return std::nullopt;
  if (HasControlCharacter(name) || HasControlCharacter(value)) return std::nullopt;
  cookie.Name = std::string(name);
  cookie.Value = std::string(value);

  const CookieAttributes attrs = ReadAttributes(
      semicolon == std::string_view::npos ? std::string_view() : setCookie.substr(semicolon + 1),
      now);
  ApplyExpiry(attrs, now, cookie);
  if (!ApplyDomain(attrs, request, cookie)) return std::nullopt;
  cookie.Path = attrs.path ? *attrs.path : DefaultPath(request.Path);
  cookie.Secure = attrs.secure;
  cookie.HttpOnly = attrs.httpOnly;
  if (cookie.HttpOnly && !IsHttpProtocol(request.Protocol)) return std::nullopt;
  cookie.Creation = now;
  cookie.Touch(now);
  return cookie;
}
