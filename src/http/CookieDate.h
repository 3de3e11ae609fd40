#pragma once
// Time stamps of the cookie jar and the reader of the dates that servers
// write into the "Expires" attribute.
//
// Cookie times are milliseconds since 1970-01-01 00:00 UTC in a signed 64-bit
// count, so the far-future expiry of a session cookie (the end of year 9999)
// is representable, which a nanosecond system_clock time point is not.
#include <chrono>
#include <optional>
#include <string_view>

using TCookieTime = std::chrono::sys_time<std::chrono::milliseconds>;

// The expiry of a cookie that the server gave no usable lifetime:
// 9999-12-31 23:59:59.999.
TCookieTime CookieNeverExpires();

// A time before every time the jar will ever compare with, used for cookies
// that the server wants gone at once.
TCookieTime CookieLongExpired();

// The current wall-clock time, the jar's default clock.
TCookieTime CookieSystemNow();

// Reads a cookie date the way browsers do: the text is cut into tokens at
// delimiter characters and the first token that looks like a time of day,
// a day of the month, a month name and a year each fill that field, in any
// order ("Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT",
// "Sun Nov  6 08:49:37 1994" all read).  Two-digit years 70-99 mean 19xx and
// 00-69 mean 20xx.  The date is taken as UTC.  Returns nothing when a field is
// missing or out of range, the year is before 1601, or the day does not
// exist in that month.  Runs in time linear in the length of the text.
std::optional<TCookieTime> ParseCookieDate(std::string_view text);
