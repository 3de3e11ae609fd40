// Fuzz target: "Set-Cookie" values and the jar's "Cookie" value.  The request
// host is the program's own (a fixed choice); the server picks the values
// and, through the catalogue's file names, part of the request path.
//
// Input: one byte choosing host and protocol, a line with the document part
// of the request path, then one "Set-Cookie" value per line.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "http/CookieJar.h"

namespace {

using namespace std::chrono;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "cookie: %s\n", what.c_str());
  std::abort();
}

// Tab is the one control character a header value may hold.
bool HasControl(std::string_view text) {
  for (char c : text) {
    if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F) return true;
  }
  return false;
}

void CheckCookie(const TCookie& cookie) {
  if (cookie.Name.empty()) Fail("cookie without a name");
  if (cookie.Name.size() + cookie.Value.size() > kMaxCookieNameValueBytes)
    Fail("name and value beyond their limit");
  if (HasControl(cookie.Name) || HasControl(cookie.Value)) Fail("control character kept");
  if (cookie.Path.empty() || cookie.Path[0] != '/') Fail("path \"" + cookie.Path + "\"");
  if (!cookie.Domain.empty() && cookie.Domain[0] == '.') Fail("domain \"" + cookie.Domain + "\"");
  for (char c : cookie.Domain) {
    if (c >= 'A' && c <= 'Z') Fail("domain not in lower case");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* const kHosts[] = {"127.0.0.1", "updates.quorvin.example", "localhost", "::1"};
  if (size == 0) return 0;
  const std::string host = kHosts[data[0] & 3];
  const std::string protocol = data[0] & 4 ? "https" : "http";
  std::vector<std::string> lines;
  std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  for (size_t end; (end = rest.find('\n')) != std::string_view::npos; rest.remove_prefix(end + 1))
    lines.emplace_back(rest.substr(0, end));
  lines.emplace_back(rest);
  const std::string path = "/download/" + lines.front();
  const std::vector<std::string> values(lines.begin() + 1, lines.end());

  const TCookieTime now = time_point_cast<milliseconds>(sys_days{year{2026} / 12 / 9});
  const TCookieRequest request{protocol, host, path};
  for (const std::string& value : values) {
    if (auto cookie = ParseSetCookie(value, request, now)) CheckCookie(*cookie);
  }
  TCookieJar jar([&] { return now; });
  jar.AddServerCookies(values, protocol, host, path);
  jar.AddServerCookies(values, protocol, host, "/");  // the same values again replace, not add

  std::map<std::string, size_t> perDomain;
  for (const TCookie& cookie : jar.Cookies()) {
    CheckCookie(cookie);
    if (++perDomain[cookie.Domain] > TCookieJar::kMaxCookiesPerDomain)
      Fail("domain over its limit");
  }
  if (jar.Count() > TCookieJar::kMaxCookies) Fail("jar over its limit");
  for (const std::string& target : {path, std::string("/"), std::string("/download/")}) {
    const std::string header = jar.GenerateCookieHeader(protocol, host, target);
    if (HasControl(header)) Fail("control character in the Cookie value");
  }
  return 0;
}
