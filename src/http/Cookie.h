#pragma once
// One cookie as the jar keeps it, and the reader that turns one "Set-Cookie"
// value into such a cookie.
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "http/CookieDate.h"

class TCookie {
 public:
  std::string Name;
  std::string Value;
  std::string Domain;  // lower case, never with a leading "."
  std::string Path;    // always begins with "/"
  bool HostOnly = true;
  bool Secure = false;
  bool HttpOnly = false;
  bool Persistent = false;  // the server gave a lifetime
  TCookieTime Expiry = CookieNeverExpires();
  TCookieTime Creation{};

  TCookie() = default;
  TCookie(const TCookie& other);
  TCookie& operator=(const TCookie& other);

  bool IsExpired(TCookieTime now) const { return Expiry < now; }

  // The last time the cookie was sent.  Several readers of the jar may send
  // the same cookie at once, so the stamp is updated atomically.
  TCookieTime LastAccess() const;
  void Touch(TCookieTime now) const;

 private:
  mutable std::atomic<std::int64_t> FLastAccessMs{0};
};

// The parts of the URL that a cookie is set for or sent to.
struct TCookieRequest {
  std::string Protocol;  // "http" or "https"
  std::string Host;
  std::string Path;  // request path: folder and document, without parameters
};

// Size limits that keep a hostile server from filling memory.
inline constexpr std::size_t kMaxCookieNameValueBytes = 4096;
inline constexpr std::size_t kMaxCookieAttributeValueBytes = 1024;

// Reads one "Set-Cookie" value sent in answer to `request` at time `now`.
// Returns nothing for a value the jar ignores: no "=" before the first ";",
// an empty name, a name and value longer than kMaxCookieNameValueBytes or
// holding control characters, a "Domain" the request host does not belong
// to, or "HttpOnly" on a protocol other than http and https.  The cookie may
// come back already expired: that is how a server deletes one.
std::optional<TCookie> ParseSetCookie(std::string_view setCookie, const TCookieRequest& request,
                                      TCookieTime now);
