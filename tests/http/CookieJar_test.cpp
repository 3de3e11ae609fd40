#include "http/CookieJar.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono;

const std::string kHost = "updates.quorvin.example";
const std::string kCatalogue = "/download/allfiles.ini";
const std::string kDownload = "/download/Quorvin.exe";

// A jar on a clock the test moves by hand.
class CookieJarTest : public ::testing::Test {
 protected:
  TCookieTime now = time_point_cast<milliseconds>(sys_days{year{2026} / 12 / 9}) + hours{8};
  TCookieJar jar{[this] { return now; }};

  void Set(const std::string& setCookie, const std::string& path = kCatalogue,
           const std::string& host = kHost, const std::string& protocol = "http") {
    jar.AddServerCookies({setCookie}, protocol, host, path);
  }
  std::string Send(const std::string& path = kDownload, const std::string& host = kHost,
                   const std::string& protocol = "http") {
    return jar.GenerateCookieHeader(protocol, host, path);
  }
};

TEST_F(CookieJarTest, NewJarIsEmptyAndSendsNothing) {
  EXPECT_EQ(jar.Count(), 0u);
  EXPECT_EQ(Send(), "");
  TCookieJar another;
  EXPECT_EQ(another.GenerateCookieHeader("http", kHost, kCatalogue), "");
}

TEST_F(CookieJarTest, CookieWithoutPathFromCatalogueComesBackOnEveryDownload) {
  Set("session=abc123");
  ASSERT_EQ(jar.Count(), 1u);
  EXPECT_EQ(jar.Cookies()[0].Path, "/download");
  EXPECT_EQ(Send("/download/Quorvin.exe"), "session=abc123");
  EXPECT_EQ(Send("/download/Other File.dll"), "session=abc123");
  EXPECT_EQ(Send(kCatalogue), "session=abc123");
  EXPECT_EQ(Send("/"), "");
  EXPECT_EQ(Send("/downloads/Quorvin.exe"), "");
}

TEST_F(CookieJarTest, CookieOnTheCataloguesFullPathIsNeverSentBack) {
  Set("exact=1; Path=/download/allfiles.ini");
  EXPECT_EQ(jar.Count(), 1u);
  EXPECT_EQ(Send(kDownload), "");
  EXPECT_EQ(Send(kCatalogue), "");
}

TEST_F(CookieJarTest, PathMatchingFollowsThePrefixRuleIgnoringCase) {
  Set("slash=1; Path=/download/");
  Set("upper=1; Path=/DOWNLOAD");
  Set("partial=1; Path=/down");
  EXPECT_EQ(Send(kDownload), "slash=1; upper=1");
  Set("relative=1; Path=download");  // not absolute: the default path instead
  EXPECT_EQ(jar.Cookies().back().Path, "/download");
}

TEST_F(CookieJarTest, SecureCookieIsStoredButNotSentOverHttp) {
  Set("token=s; Secure");
  ASSERT_EQ(jar.Count(), 1u);
  EXPECT_TRUE(jar.Cookies()[0].Secure);
  EXPECT_EQ(Send(kDownload, kHost, "http"), "");
  EXPECT_EQ(Send(kDownload, kHost, "https"), "token=s");
}

TEST_F(CookieJarTest, HttpOnlyIsKeptOnlyForHttpProtocols) {
  Set("a=1; HttpOnly", kCatalogue, kHost, "HTTP");
  Set("b=1; HttpOnly", kCatalogue, kHost, "ftp");
  ASSERT_EQ(jar.Count(), 1u);
  EXPECT_EQ(Send(), "a=1");
}

TEST_F(CookieJarTest, MaxAgeZeroOrNegativeDeletesTheStoredTwin) {
  Set("id=1");
  Set("other=2");
  Set("id=gone; Max-Age=0");
  EXPECT_EQ(Send(), "other=2");
  Set("other=x; max-age=-5");
  EXPECT_EQ(jar.Count(), 0u);
  Set("fresh=1; Max-Age=0");  // an expired cookie without a twin is not stored
  EXPECT_EQ(jar.Count(), 0u);
}

TEST_F(CookieJarTest, ExpiresInThePastDeletesAndInTheFutureKeeps) {
  Set("id=1");
  Set("id=2; Expires=Wed, 09 Dec 2026 09:00:00 GMT");
  EXPECT_EQ(Send(), "id=2");
  Set("id=3; Expires=Tue, 08 Dec 2026 09:00:00 GMT");
  EXPECT_EQ(jar.Count(), 0u);
}

TEST_F(CookieJarTest, ExpiredCookiesArePurgedWhenTheHeaderIsBuilt) {
  Set("short=1; Max-Age=60");
  Set("long=1; Max-Age=3600");
  Set("session=1");
  now += seconds{59};
  EXPECT_EQ(Send(), "short=1; long=1; session=1");
  now += seconds{2};
  EXPECT_EQ(Send(), "long=1; session=1");
  EXPECT_EQ(jar.Count(), 2u);
  now += hours{24 * 365 * 100};
  EXPECT_EQ(Send(), "session=1");
}

TEST_F(CookieJarTest, MaxAgeWinsOverExpiresWhereverItStands) {
  Set("a=1; Max-Age=60; Expires=Thu, 01 Jan 2099 00:00:00 GMT");
  Set("b=1; Expires=Thu, 01 Jan 2099 00:00:00 GMT; Max-Age=60");
  Set("c=1; Max-Age=soon; Expires=60");  // unusable Max-Age: Expires as seconds
  for (const TCookie& c : jar.Cookies()) {
    EXPECT_TRUE(c.Persistent) << c.Name;
    EXPECT_EQ(c.Expiry, now + seconds{60}) << c.Name;
  }
}

TEST_F(CookieJarTest, LastUsableOccurrenceOfAnAttributeCounts) {
  Set("a=1; Max-Age=10; Max-Age=20; Max-Age=bad");
  Set("b=1; Path=/download; Path=/; Path=");
  Set("c=1; Expires=Thu, 01 Jan 2099 00:00:00 GMT; Expires=never");
  const auto cookies = jar.Cookies();
  ASSERT_EQ(cookies.size(), 3u);
  EXPECT_EQ(cookies[0].Expiry, now + seconds{20});
  EXPECT_EQ(cookies[1].Path, "/");
  EXPECT_EQ(cookies[2].Expiry, time_point_cast<milliseconds>(sys_days{year{2099} / 1 / 1}));
}

TEST_F(CookieJarTest, CookieWithoutUsableExpiryIsASessionCookie) {
  Set("a=1; Expires=someday; Max-Age=");
  const TCookie c = jar.Cookies().at(0);
  EXPECT_FALSE(c.Persistent);
  EXPECT_EQ(c.Expiry, CookieNeverExpires());
}

TEST_F(CookieJarTest, ForeignDomainIsRejectedAndParentDomainAccepted) {
  Set("foreign=1; Domain=evil.example");
  Set("suffix=1; Domain=quorvin.exampl");
  Set("child=1; Domain=www.updates.quorvin.example");
  EXPECT_EQ(jar.Count(), 0u);
  Set("parent=1; Domain=.Quorvin.Example");
  ASSERT_EQ(jar.Count(), 1u);
  EXPECT_EQ(jar.Cookies()[0].Domain, "quorvin.example");
  EXPECT_FALSE(jar.Cookies()[0].HostOnly);
  EXPECT_EQ(Send(kDownload, kHost), "parent=1");
  EXPECT_EQ(Send(kDownload, "mirror.quorvin.example"), "parent=1");
  EXPECT_EQ(Send(kDownload, "quorvin.example"), "parent=1");
  EXPECT_EQ(Send(kDownload, "notquorvin.example"), "");
}

// Only one leading "." is dropped; the jar never stores a domain that
// begins with one, even for a host that would match it.
TEST_F(CookieJarTest, ADomainWithTwoLeadingDotsIsRejected) {
  Set("twice=1; Domain=..quorvin.example", kCatalogue, "www..quorvin.example");
  Set("hostonly=1", kCatalogue, ".quorvin.example");
  EXPECT_EQ(jar.Count(), 0u);
}

TEST_F(CookieJarTest, HostOnlyCookieGoesToTheSameHostOnly) {
  Set("h=1");
  EXPECT_EQ(Send(kDownload, "UPDATES.quorvin.example"), "h=1");
  EXPECT_EQ(Send(kDownload, "www.updates.quorvin.example"), "");
  EXPECT_EQ(Send(kDownload, "quorvin.example"), "");
}

TEST_F(CookieJarTest, IpAddressesAreNeverSuffixMatched) {
  Set("a=1; Domain=0.0.1", kCatalogue, "127.0.0.1");
  Set("b=1; Domain=127.0.0.1", kCatalogue, "127.0.0.1");
  ASSERT_EQ(jar.Count(), 1u);
  EXPECT_EQ(Send(kDownload, "127.0.0.1"), "b=1");
  EXPECT_EQ(Send(kDownload, "1.127.0.0.1"), "");
  Set("c=1; Domain=1", kCatalogue, "::1");
  EXPECT_EQ(jar.Count(), 1u);
}

TEST_F(CookieJarTest, LongerPathFirstThenEarlierCreation) {
  Set("root=1; Path=/");
  now += seconds{1};
  Set("dl=1");  // default path /download
  now += seconds{1};
  Set("root2=1; Path=/");
  EXPECT_EQ(Send(), "dl=1; root=1; root2=1");
}

TEST_F(CookieJarTest, ReplacementKeepsCreationTimeAndOrder) {
  Set("first=1; Path=/");
  now += seconds{1};
  Set("second=1; Path=/");
  now += seconds{1};
  Set("FIRST=2; Path=/");  // same name ignoring case: replaces
  ASSERT_EQ(jar.Count(), 2u);
  EXPECT_EQ(Send(), "FIRST=2; second=1");
  EXPECT_EQ(jar.Cookies()[0].Creation, now - seconds{2});
  Set("first=3; Path=/download");  // other path: a cookie of its own
  EXPECT_EQ(jar.Count(), 3u);
}

TEST_F(CookieJarTest, SendingUpdatesTheLastAccessTime) {
  Set("a=1; Path=/");
  Set("b=1; Path=/other");
  now += minutes{5};
  Send();
  const auto cookies = jar.Cookies();
  EXPECT_EQ(cookies[0].LastAccess(), now);
  EXPECT_EQ(cookies[1].LastAccess(), now - minutes{5});
}

TEST_F(CookieJarTest, NameAndValueAreTrimmedAndQuotesRemoved) {
  Set("  name  =  \"quoted value\" tail ; Path = / ");
  Set("open=\"no closing quote");
  Set("empty=");
  EXPECT_EQ(Send(), "open=no closing quote; empty=; name=quoted value");
}

TEST_F(CookieJarTest, ValuesWithoutEqualsOrNameAreIgnored) {
  jar.AddServerCookies({"novalue", "novalue; a=b", "=nameless", "  =x", "", ";", "ok=1"}, "http",
                       kHost, kCatalogue);
  EXPECT_EQ(Send(), "ok=1");
}

TEST_F(CookieJarTest, AttributeNamesIgnoreCaseAndUnknownOnesAreIgnored) {
  Set("a=1; pATH=/; sEcUrE; x-custom=7; Comment=hi; =; ;;");
  const TCookie c = jar.Cookies().at(0);
  EXPECT_EQ(c.Path, "/");
  EXPECT_TRUE(c.Secure);
  EXPECT_FALSE(c.HttpOnly);
}

// Readers build headers while a writer stores and deletes: the lock keeps
// every header whole (each cookie sent at most once, never half written).
TEST(CookieJarThreads, ReadersAndAWriterShareTheJarSafely) {
  TCookieJar jar;
  jar.AddServerCookies({"stable=1; Path=/"}, "http", kHost, kCatalogue);
  std::vector<std::thread> readers;
  std::vector<int> badHeaders(3, 0);
  for (int r = 0; r < 3; ++r) {
    readers.emplace_back([&, r] {
      for (int i = 0; i < 2000; ++i) {
        const std::string header = jar.GenerateCookieHeader("http", kHost, kDownload);
        if (header.find("stable=1") == std::string::npos) ++badHeaders[r];
      }
    });
  }
  for (int i = 0; i < 2000; ++i) {
    const std::string name = "w" + std::to_string(i % 7);
    jar.AddServerCookies(
        {name + "=" + std::to_string(i), name + "=x; Max-Age=" + (i % 2 ? "0" : "9")}, "http",
        kHost, kCatalogue);
  }
  for (std::thread& reader : readers) reader.join();
  EXPECT_EQ(badHeaders, std::vector<int>(3, 0));
  EXPECT_LE(jar.Count(), 8u);
}

}  // namespace
