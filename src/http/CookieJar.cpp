#include "http/CookieJar.h"

#include <algorithm>
#include <mutex>
#include <utility>

#include "http/CookieMatch.h"

using cookies::DomainMatches;
using cookies::PathMatches;
using cookies::RequestDirectory;
using cookies::SameTextIgnoringCase;

namespace {

bool SameCookieSlot(const TCookie& a, const TCookie& b) {
  return SameTextIgnoringCase(a.Name, b.Name) && SameTextIgnoringCase(a.Domain, b.Domain) &&
         SameTextIgnoringCase(a.Path, b.Path);
}

bool HostMatches(const TCookie& cookie, std::string_view host) {
  return cookie.HostOnly ? SameTextIgnoringCase(host, cookie.Domain)
                         : DomainMatches(host, cookie.Domain);
}

bool CookieApplies(const TCookie& cookie, const TCookieRequest& request,
                   std::string_view directory) {
  if (!HostMatches(cookie, request.Host)) return false;
  if (!PathMatches(directory, cookie.Path)) return false;
  if (cookie.Secure && !SameTextIgnoringCase(request.Protocol, "https")) return false;
  if (cookie.HttpOnly && !SameTextIgnoringCase(request.Protocol, "http") &&
      !SameTextIgnoringCase(request.Protocol, "https")) {
    return false;
  }
  return true;
}

// Removes the earliest created cookie among those `select` picks; the list
// order decides between equal creation times.
template <typename Select>
void DropOldest(std::vector<TCookie>& cookies, Select select) {
  auto oldest = cookies.end();
  for (auto it = cookies.begin(); it != cookies.end(); ++it) {
    if (select(*it) && (oldest == cookies.end() || it->Creation < oldest->Creation)) oldest = it;
  }
  if (oldest != cookies.end()) cookies.erase(oldest);
}

}  // namespace

TCookieJar::TCookieJar(TClock clock) : FClock(std::move(clock)) {}

void TCookieJar::AddServerCookies(const std::vector<std::string>& setCookieValues,
                                  const std::string& protocol, const std::string& host,
                                  const std::string& path) {
  if (setCookieValues.empty()) return;
  const TCookieRequest request{protocol, host, path};
  const TCookieTime now = FClock();
  std::unique_lock lock(FLock);
  for (const std::string& value : setCookieValues) {
    if (auto cookie = ParseSetCookie(value, request, now)) Store(std::move(*cookie), now);
  }
}

// Replaces the stored cookie of the same name, domain and path in place,
// keeping its creation time; an already expired cookie only removes its twin.
void TCookieJar::Store(TCookie cookie, TCookieTime now) {
  const auto twin = std::find_if(FCookies.begin(), FCookies.end(), [&](const TCookie& stored) {
    return SameCookieSlot(stored, cookie);
  });
  if (cookie.IsExpired(now)) {
    if (twin != FCookies.end()) FCookies.erase(twin);
    return;
  }
  if (twin != FCookies.end()) {
    cookie.Creation = twin->Creation;
    *twin = std::move(cookie);
    return;
  }
  const std::string domain = cookie.Domain;
  FCookies.push_back(std::move(cookie));
  EnforceLimits(domain, now);
}

// Keeps the jar within its limits: expired cookies go first, then the oldest
// of the crowded domain, then the oldest of all.
void TCookieJar::EnforceLimits(const std::string& domain, TCookieTime now) {
  const auto inDomain = [&](const TCookie& c) { return c.Domain == domain; };
  const auto countInDomain = [&] {
    return static_cast<std::size_t>(std::count_if(FCookies.begin(), FCookies.end(), inDomain));
  };
  if (FCookies.size() > kMaxCookies || countInDomain() > kMaxCookiesPerDomain) {
    RemoveExpired(now);
  }
  while (countInDomain() > kMaxCookiesPerDomain) DropOldest(FCookies, inDomain);
  while (FCookies.size() > kMaxCookies) DropOldest(FCookies, [](const TCookie&) { return true; });
}

void TCookieJar::RemoveExpired(TCookieTime now) {
  std::erase_if(FCookies, [&](const TCookie& c) { return c.IsExpired(now); });
}

std::string TCookieJar::GenerateCookieHeader(const std::string& protocol, const std::string& host,
                                             const std::string& path) {
  const TCookieTime now = FClock();
  {
    std::unique_lock lock(FLock);
    RemoveExpired(now);
  }
  const TCookieRequest request{protocol, host, path};
  const std::string_view directory = RequestDirectory(request.Path);

  std::shared_lock lock(FLock);
  std::vector<const TCookie*> matching;
  for (const TCookie& cookie : FCookies) {
    if (CookieApplies(cookie, request, directory)) matching.push_back(&cookie);
  }
  std::stable_sort(matching.begin(), matching.end(), [](const TCookie* a, const TCookie* b) {
    if (a->Path.size() != b->Path.size()) return a->Path.size() > b->Path.size();
    return a->Creation < b->Creation;
  });

  std::string header;
  for (const TCookie* cookie : matching) {
    if (!header.empty()) header += "; ";
    header += cookie->Name;
    header += '=';
    header += cookie->Value;
    cookie->Touch(now);
  }
  return header;
}

std::vector<TCookie> TCookieJar::Cookies() const {
  std::shared_lock lock(FLock);
  return FCookies;
}

std::size_t TCookieJar::Count() const {
  std::shared_lock lock(FLock);
  return FCookies.size();
}
