#pragma once
// The HTTP client's cookie jar: keeps the cookies the server sets during one
// run and gives them back on later requests.  Nothing is ever written to disk,
// so every run starts empty.
//
// Limits: a cookie whose name and value together exceed 4096 bytes is
// ignored, as is any attribute value longer than 1024 bytes.  The jar keeps
// at most 50 cookies per domain and 300 in all; storing beyond either limit
// first removes expired cookies, then the oldest (earliest created) cookies.
//
// The list is guarded by a readers-writer lock: storing and purging write,
// building the "Cookie" value reads.
#include <cstddef>
#include <functional>
#include <shared_mutex>
#include <string>
#include <vector>

#include "http/Cookie.h"
#include "http/CookieDate.h"

class TCookieJar {
 public:
  using TClock = std::function<TCookieTime()>;

  static constexpr std::size_t kMaxCookiesPerDomain = 50;
  static constexpr std::size_t kMaxCookies = 300;

  // `clock` tells the jar what time it is; tests pass one they can move.
  explicit TCookieJar(TClock clock = CookieSystemNow);

  // The values of the "Set-Cookie" lines of one header block, for the request URL given by its
  // parts (protocol "http"/"https", host, and the request path = path + document, without
  // parameters).
  void AddServerCookies(const std::vector<std::string>& setCookieValues,
                        const std::string& protocol, const std::string& host,
                        const std::string& path);
  // The "Cookie" header value for a request, "" when no cookie applies.
  std::string GenerateCookieHeader(const std::string& protocol, const std::string& host,
                                   const std::string& path);

  // A copy of the stored cookies in order of storage.
  std::vector<TCookie> Cookies() const;
  std::size_t Count() const;

 private:
  void Store(TCookie cookie, TCookieTime now);
  void RemoveExpired(TCookieTime now);
  void EnforceLimits(const std::string& domain, TCookieTime now);

  TClock FClock;
  mutable std::shared_mutex FLock;
  std::vector<TCookie> FCookies;
};
