#include "http/CookieDate.h"

#include <array>
#include <cctype>

namespace {

using namespace std::chrono;

// Characters that separate the tokens of a cookie date.  Everything else,
// digits, letters, ":" and bytes above 127 included, belongs to a token.
bool IsDateDelimiter(unsigned char c) {
  return c == 0x09 || (c >= 0x20 && c <= 0x2F) || (c >= 0x3B && c <= 0x40) ||
         (c >= 0x5B && c <= 0x60) || (c >= 0x7B && c <= 0x7E);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads minDigits to maxDigits digits at `pos`; the digits must be followed by
// the end of the token or by a character that is not a digit.
bool ReadNumber(std::string_view token, std::size_t& pos, int minDigits, int maxDigits,
                int& value) {
  int digits = 0;
  value = 0;
  while (pos < token.size() && IsDigit(token[pos]) && digits < maxDigits) {
    value = value * 10 + (token[pos] - '0');
    ++pos;
    ++digits;
  }
  if (digits < minDigits) return false;
  return pos == token.size() || !IsDigit(token[pos]);
}

// A token that is a whole number of one to two (day) or two to four (year)
// digits, optionally followed by non-digit text.
bool MatchNumberToken(std::string_view token, int minDigits, int maxDigits, int& value) {
  std::size_t pos = 0;
  return ReadNumber(token, pos, minDigits, maxDigits, value);
}

// "hh:mm:ss" with one or two digits per field, optionally followed by
// non-digit text.
bool MatchTime(std::string_view token, int& hour, int& minute, int& second) {
  std::size_t pos = 0;
  if (!ReadNumber(token, pos, 1, 2, hour)) return false;
  if (pos >= token.size() || token[pos++] != ':') return false;
  if (!ReadNumber(token, pos, 1, 2, minute)) return false;
  if (pos >= token.size() || token[pos++] != ':') return false;
  return ReadNumber(token, pos, 1, 2, second);
}

// The month whose English name begins the token (first three letters, any
// letter case): 1 for January to 12 for December.
bool MatchMonth(std::string_view token, int& month) {
  static constexpr std::array<std::string_view, 12> kMonths = {
      "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
  if (token.size() < 3) return false;
  char prefix[3];
  for (int i = 0; i < 3; ++i)
    prefix[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(token[i])));
  for (std::size_t i = 0; i < kMonths.size(); ++i) {
    if (std::string_view(prefix, 3) == kMonths[i]) {
      month = static_cast<int>(i) + 1;
      return true;
    }
  }
  return false;
}

struct DateFields {
  bool foundTime = false, foundDay = false, foundMonth = false, foundYear = false;
  int hour = 0, minute = 0, second = 0, day = 0, month = 0, year = 0;
};

// Gives the token to the first field that it fits and that is still empty,
// trying time, day, month and year in that order.
void ClassifyToken(std::string_view token, DateFields& f) {
  int h, m, s, n;
  if (!f.foundTime && MatchTime(token, h, m, s)) {
    f.foundTime = true;
    f.hour = h;
    f.minute = m;
    f.second = s;
  } else if (!f.foundDay && MatchNumberToken(token, 1, 2, n)) {
    f.foundDay = true;
    f.day = n;
  } else if (!f.foundMonth && MatchMonth(token, n)) {
    f.foundMonth = true;
    f.month = n;
  } else if (!f.foundYear && MatchNumberToken(token, 2, 4, n)) {
    f.foundYear = true;
    f.year = n;
  }
}

std::optional<TCookieTime> ToTime(DateFields f) {
  if (!(f.foundTime && f.foundDay && f.foundMonth && f.foundYear)) return std::nullopt;
  if (f.year >= 70 && f.year <= 99) f.year += 1900;
  if (f.year >= 0 && f.year <= 69) f.year += 2000;
  if (f.year < 1601 || f.day < 1 || f.day > 31) return std::nullopt;
  if (f.hour > 23 || f.minute > 59 || f.second > 59) return std::nullopt;
  const year_month_day date{year{f.year}, month{static_cast<unsigned>(f.month)},
                            day{static_cast<unsigned>(f.day)}};
  if (!date.ok()) return std::nullopt;  // 31 April, 29 February of a common year
  return time_point_cast<milliseconds>(sys_days{date}) + hours{f.hour} + minutes{f.minute} +
         seconds{f.second};
}

}  // namespace

TCookieTime CookieNeverExpires() {
  return time_point_cast<milliseconds>(sys_days{year{9999} / December / 31}) + hours{23} +
         minutes{59} + seconds{59} + milliseconds{999};
}

TCookieTime CookieLongExpired() { return TCookieTime{milliseconds{0}} - years{10000}; }

TCookieTime CookieSystemNow() { return time_point_cast<milliseconds>(system_clock::now()); }

std::optional<TCookieTime> ParseCookieDate(std::string_view text) {
  DateFields fields;
  std::size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && IsDateDelimiter(static_cast<unsigned char>(text[pos]))) ++pos;
    const std::size_t start = pos;
    while (pos < text.size() && !IsDateDelimiter(static_cast<unsigned char>(text[pos]))) ++pos;
    if (pos > start) ClassifyToken(text.substr(start, pos - start), fields);
  }
  return ToTime(fields);
}
