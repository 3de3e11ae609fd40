#include "util/UtcTime.h"

#include <chrono>
#include <cstdio>

namespace {

using namespace std::chrono;

constexpr int64_t kSecondsPerDay = 24 * 60 * 60;

struct TCivilTime {
  int year, month, day, hour, minute, second;
};

TCivilTime CivilTime(int64_t seconds) {
  const sys_days days{floor<std::chrono::days>(sys_seconds{std::chrono::seconds{seconds}})};
  const year_month_day date{days};
  const int64_t inDay = seconds - days.time_since_epoch().count() * kSecondsPerDay;
  return {static_cast<int>(date.year()),
          static_cast<int>(static_cast<unsigned>(date.month())),
          static_cast<int>(static_cast<unsigned>(date.day())),
          static_cast<int>(inDay / 3600),
          static_cast<int>(inDay / 60 % 60),
          static_cast<int>(inDay % 60)};
}

// The digits at [position, position + count) as a number; -1 when any is no digit.
int Digits(std::string_view text, size_t position, size_t count) {
  int value = 0;
  for (size_t i = position; i < position + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

}  // namespace

int64_t SystemUtcNow() {
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

std::optional<int64_t> ParseUtcTime(std::string_view text) {
  // 0123456789012345678 9
  // YYYY-MM-DDTHH:MM:SS Z
  if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
      text[16] != ':' || text[19] != 'Z')
    return std::nullopt;
  const int year = Digits(text, 0, 4), month = Digits(text, 5, 2), day = Digits(text, 8, 2);
  const int hour = Digits(text, 11, 2), minute = Digits(text, 14, 2), second = Digits(text, 17, 2);
  if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0) return std::nullopt;
  const year_month_day date{std::chrono::year{year},
                            std::chrono::month{static_cast<unsigned>(month)},
                            std::chrono::day{static_cast<unsigned>(day)}};
  if (!date.ok() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
  return sys_days{date}.time_since_epoch().count() * kSecondsPerDay + hour * 3600 + minute * 60 +
         second;
}

std::string FormatUtcTime(int64_t seconds) {
  const TCivilTime time = CivilTime(seconds);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", time.year, time.month,
                time.day, time.hour, time.minute, time.second);
  return text;
}

uint64_t UtcTimeDigits(int64_t seconds) {
  const TCivilTime time = CivilTime(seconds);
  return ((((static_cast<uint64_t>(time.year) * 100 + time.month) * 100 + time.day) * 100 +
           time.hour) *
              100 +
          time.minute) *
             100 +
         time.second;
}
