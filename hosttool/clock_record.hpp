// The reader's 28-byte clock record: year, month, day, hour, minute,
// second and weekday (0 = Sunday), each a little-endian 32-bit word.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace tool {

struct ClockTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// "YYYY-MM-DDTHH:MM:SS", a date that exists (years 1970 to 9999).
std::optional<ClockTime> parse_clock(std::string_view text);
// The PC's local time.
ClockTime local_now();
// 0 = Sunday, as the C library counts.
int weekday(const ClockTime& time);
std::array<unsigned char, 28> clock_record(const ClockTime& time);
std::string clock_text(const ClockTime& time);

}  // namespace tool
