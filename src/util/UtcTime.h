#pragma once
// UTC times as seconds since 1970-01-01T00:00:00Z, and the two ways the
// catalogue writes them: "YYYY-MM-DDTHH:MM:SSZ" and the digits
// "YYYYMMDDHHMMSS".
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The system clock's time.
int64_t SystemUtcNow();

// "YYYY-MM-DDTHH:MM:SSZ" exactly (a real date, hours 00-23, minutes and
// seconds 00-59); nothing for any other text.
std::optional<int64_t> ParseUtcTime(std::string_view text);
std::string FormatUtcTime(int64_t seconds);
// "YYYYMMDDHHMMSS" of the time, as a number.
uint64_t UtcTimeDigits(int64_t seconds);
