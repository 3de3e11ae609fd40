#include "http/CookieDate.h"

#include <gtest/gtest.h>

#include "support/SanitizerSlowdown.h"

namespace {

using namespace std::chrono;

TCookieTime At(int y, unsigned mo, unsigned d, int h, int mi, int s) {
  return time_point_cast<milliseconds>(sys_days{year{y} / month{mo} / day{d}}) + hours{h} +
         minutes{mi} + seconds{s};
}

TEST(CookieDate, ReadsTheThreeClassicFormats) {
  const TCookieTime expected = At(1994, 11, 6, 8, 49, 37);
  EXPECT_EQ(ParseCookieDate("Sun, 06 Nov 1994 08:49:37 GMT"), expected);
  EXPECT_EQ(ParseCookieDate("Sunday, 06-Nov-94 08:49:37 GMT"), expected);
  EXPECT_EQ(ParseCookieDate("Sun Nov  6 08:49:37 1994"), expected);
}

TEST(CookieDate, AcceptsLooseSpellingsBrowsersAccept) {
  EXPECT_EQ(ParseCookieDate("Wed, 09-december-2026 7:05:03 UTC"), At(2026, 12, 9, 7, 5, 3));
  EXPECT_EQ(ParseCookieDate("2026 DEC 9 07:05:03"), At(2026, 12, 9, 7, 5, 3));
  EXPECT_EQ(ParseCookieDate("  09 Dec 2026 23:59:59GMT  "), At(2026, 12, 9, 23, 59, 59));
}

TEST(CookieDate, MapsTwoDigitYearsAroundTheCenturyPivot) {
  EXPECT_EQ(ParseCookieDate("01 Jan 69 00:00:00"), At(2069, 1, 1, 0, 0, 0));
  EXPECT_EQ(ParseCookieDate("01 Jan 70 00:00:00"), At(1970, 1, 1, 0, 0, 0));
  EXPECT_EQ(ParseCookieDate("01 Jan 00 00:00:00"), At(2000, 1, 1, 0, 0, 0));
}

TEST(CookieDate, RejectsMissingOrOutOfRangeFields) {
  EXPECT_FALSE(ParseCookieDate(""));
  EXPECT_FALSE(ParseCookieDate("tomorrow"));
  EXPECT_FALSE(ParseCookieDate("06 Nov 1994"));           // no time
  EXPECT_FALSE(ParseCookieDate("Nov 1994 08:49:37"));     // a four-digit number is no day
  EXPECT_FALSE(ParseCookieDate("32 Nov 1994 08:49:37"));  // day
  EXPECT_FALSE(ParseCookieDate("31 Apr 2026 08:49:37"));  // day not in that month
  EXPECT_FALSE(ParseCookieDate("29 Feb 2026 08:49:37"));  // not a leap year
  EXPECT_FALSE(ParseCookieDate("06 Nov 1994 24:00:00"));
  EXPECT_FALSE(ParseCookieDate("06 Nov 1994 08:60:00"));
  EXPECT_FALSE(ParseCookieDate("06 Nov 1994 08:00:60"));
  EXPECT_FALSE(ParseCookieDate("06 Nov 1600 08:00:00"));   // before 1601
  EXPECT_FALSE(ParseCookieDate("06 Nov 19945 08:00:00"));  // five-digit year
  EXPECT_TRUE(ParseCookieDate("29 Feb 2028 08:49:37"));
}

TEST(CookieDate, ReachesTheLastYearAndTheSessionCookieExpiry) {
  EXPECT_EQ(ParseCookieDate("31 Dec 9999 23:59:59"), At(9999, 12, 31, 23, 59, 59));
  EXPECT_EQ(CookieNeverExpires(), At(9999, 12, 31, 23, 59, 59) + milliseconds{999});
  EXPECT_LT(CookieLongExpired(), At(1601, 1, 1, 0, 0, 0));
}

TEST(CookieDate, HugeInputEndsQuicklyWithoutResult) {
  const std::string digits(1 << 20, '7');
  const std::string separators(1 << 20, ',');
  std::string mixed;
  for (int i = 0; i < 100000; ++i) mixed += "Nov GMT, ";
  const auto start = steady_clock::now();
  EXPECT_FALSE(ParseCookieDate(digits));
  EXPECT_FALSE(ParseCookieDate(separators));
  EXPECT_FALSE(ParseCookieDate(mixed));
  EXPECT_LT(steady_clock::now() - start, seconds{2} * kSanitizerSlowdown);
}

}  // namespace
