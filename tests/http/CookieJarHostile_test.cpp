// What a misbehaving or hostile server can send in "Set-Cookie": the jar
// must stay bounded, fast and whole.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/CookieJar.h"
#include "support/SanitizerSlowdown.h"

namespace {

using namespace std::chrono;

const std::string kHost = "updates.quorvin.example";
const std::string kCatalogue = "/download/allfiles.ini";

class CookieJarHostileTest : public ::testing::Test {
 protected:
  TCookieTime now = time_point_cast<milliseconds>(sys_days{year{2026} / 12 / 9});
  TCookieJar jar{[this] { return now; }};
  steady_clock::time_point started = steady_clock::now();

  void Set(const std::vector<std::string>& values, const std::string& host = kHost) {
    jar.AddServerCookies(values, "http", host, kCatalogue);
  }
  // Every hostile case must finish well within a request's time budget,
  // even on a loaded machine.
  void ExpectFast() { EXPECT_LT(steady_clock::now() - started, seconds{2} * kSanitizerSlowdown); }
};

TEST_F(CookieJarHostileTest, OversizedNameAndValueAreIgnored) {
  const std::string name = "n";
  Set({name + "=" + std::string(kMaxCookieNameValueBytes - name.size(), 'v')});
  EXPECT_EQ(jar.Count(), 1u);
  Set({"big=" + std::string(8 << 20, 'x') + "; Path=/"});
  Set({std::string(5000, 'N') + "=1"});
  EXPECT_EQ(jar.Count(), 1u);
  ExpectFast();
}

TEST_F(CookieJarHostileTest, ThousandsOfAttributesParseInLinearTime) {
  std::string value = "a=1";
  for (int i = 0; i < 50000; ++i) value += "; Path=/p" + std::to_string(i % 10) + "; Secure; x";
  value += "; Path=/";
  const std::string semicolons = "b=2" + std::string(1 << 20, ';');
  started = steady_clock::now();
  Set({value});
  ASSERT_EQ(jar.Count(), 1u);
  EXPECT_EQ(jar.Cookies()[0].Path, "/");
  Set({semicolons});
  EXPECT_EQ(jar.Count(), 2u);
  ExpectFast();
}

TEST_F(CookieJarHostileTest, OversizedAttributeValuesAreIgnored) {
  Set({"a=1; Path=/" + std::string(2000, 'p'), "b=1; Domain=" + std::string(2000, 'd') + ".example",
       "c=1; Expires=" + std::string(1 << 20, '9')});
  const auto cookies = jar.Cookies();
  ASSERT_EQ(cookies.size(), 3u);
  EXPECT_EQ(cookies[0].Path, "/download");
  EXPECT_TRUE(cookies[1].HostOnly);
  EXPECT_FALSE(cookies[2].Persistent);
  ExpectFast();
}

TEST_F(CookieJarHostileTest, ExtremeLifetimesNeitherOverflowNorCrash) {
  Set({"a=1; Max-Age=99999999999999999999999999999", "b=1; Max-Age=-99999999999999999999999",
       "c=1; Expires=31 Dec 9999 23:59:59", "d=1; Expires=01 Jan 1601 00:00:00",
       "e=1; Expires=99 Zzz 99999 99:99:99", "f=1; Max-Age=9223372036854775807",
       "g=1; Max-Age=-9223372036854775808", "h=1; Max-Age=+5"});
  std::vector<std::string> kept;
  for (const TCookie& c : jar.Cookies()) kept.push_back(c.Name);
  EXPECT_EQ(kept, (std::vector<std::string>{"a", "c", "e", "f", "h"}));
  EXPECT_EQ(jar.Cookies()[0].Expiry, CookieNeverExpires());
  now = CookieNeverExpires() - milliseconds{999};  // the last moment "c" lives
  EXPECT_EQ(jar.GenerateCookieHeader("http", kHost, kCatalogue), "a=1; c=1; e=1; f=1; h=1");
}

TEST_F(CookieJarHostileTest, ControlCharactersCannotReachOurRequestHeader) {
  Set({"a=1\rX-Injected: yes", std::string("b=1\0x", 5), "c=\x7f", "d\n=1", "e=tab\there"});
  ASSERT_EQ(jar.Count(), 1u);
  EXPECT_EQ(jar.GenerateCookieHeader("http", kHost, kCatalogue), "e=tab\there");
}

TEST_F(CookieJarHostileTest, PerDomainLimitDropsTheOldestFirst) {
  for (std::size_t i = 0; i < TCookieJar::kMaxCookiesPerDomain + 10; ++i) {
    now += seconds{1};
    Set({"c" + std::to_string(i) + "=1"});
  }
  const auto cookies = jar.Cookies();
  ASSERT_EQ(cookies.size(), TCookieJar::kMaxCookiesPerDomain);
  EXPECT_EQ(cookies.front().Name, "c10");
  EXPECT_EQ(cookies.back().Name, "c" + std::to_string(TCookieJar::kMaxCookiesPerDomain + 9));
}

TEST_F(CookieJarHostileTest, LimitsRemoveExpiredCookiesBeforeLiveOnes) {
  Set({"old=1; Max-Age=10"});
  now += seconds{1};
  for (std::size_t i = 1; i < TCookieJar::kMaxCookiesPerDomain; ++i) {
    Set({"c" + std::to_string(i) + "=1"});
  }
  now += seconds{20};  // "old" has expired but is still stored
  ASSERT_EQ(jar.Count(), TCookieJar::kMaxCookiesPerDomain);
  Set({"new=1"});
  EXPECT_EQ(jar.Count(), TCookieJar::kMaxCookiesPerDomain);
  EXPECT_EQ(jar.Cookies().front().Name, "c1");
}

TEST_F(CookieJarHostileTest, TotalLimitHoldsAcrossManyDomains) {
  // One server may name any parent of its host, and many hosts may share a jar.
  for (int host = 0; host < 20; ++host) {
    const std::string name = "h" + std::to_string(host) + ".quorvin.example";
    for (int i = 0; i < 40; ++i) {
      now += milliseconds{1};
      Set({"c" + std::to_string(i) + "=" + std::to_string(host)}, name);
    }
  }
  const auto cookies = jar.Cookies();
  ASSERT_EQ(cookies.size(), TCookieJar::kMaxCookies);
  EXPECT_EQ(cookies.front().Domain, "h12.quorvin.example");  // 12 * 40 + 20 = 500 dropped
  EXPECT_EQ(cookies.front().Name, "c20");
  ExpectFast();
}

}  // namespace
