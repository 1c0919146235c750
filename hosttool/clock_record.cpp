#include "hosttool/clock_record.hpp"

#include <cstdint>
#include <cstdio>
#include <ctime>

namespace tool {
namespace {

bool leap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int year, int month)
{
    constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && leap(year) ? 29 : days[month - 1];
}

// Digits only, exactly `count` of them.
bool number(std::string_view text, std::size_t at, std::size_t count, int& value)
{
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

}  // namespace

std::optional<ClockTime> parse_clock(std::string_view text)
{
    // 0123456789012345678
    // YYYY-MM-DDTHH:MM:SS
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':')
        return std::nullopt;
    ClockTime t;
    if (!number(text, 0, 4, t.year) || !number(text, 5, 2, t.month) || !number(text, 8, 2, t.day) ||
        !number(text, 11, 2, t.hour) || !number(text, 14, 2, t.minute) || !number(text, 17, 2, t.second))
        return std::nullopt;
    if (t.year < 1970 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > days_in_month(t.year, t.month) ||
        t.hour > 23 || t.minute > 59 || t.second > 59)
        return std::nullopt;
    return t;
}

ClockTime local_now()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

int weekday(const ClockTime& t)
{
    // Days since 1970-01-01, a Thursday, by the civil calendar.
    const int y = t.month <= 2 ? t.year - 1 : t.year;
    const int era = y / 400;
    const int year_of_era = y - era * 400;
    const int day_of_year = (153 * (t.month + (t.month > 2 ? -3 : 9)) + 2) / 5 + t.day - 1;
    const int day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    const long days = static_cast<long>(era) * 146097 + day_of_era - 719468;
    return static_cast<int>((days + 4) % 7);
}

std::array<unsigned char, 28> clock_record(const ClockTime& t)
{
    const int words[7] = {t.year, t.month, t.day, t.hour, t.minute, t.second, weekday(t)};
    std::array<unsigned char, 28> record{};
    for (std::size_t i = 0; i < 7; ++i)
        for (unsigned b = 0; b < 4; ++b)
            record[4 * i + b] = static_cast<unsigned char>(static_cast<std::uint32_t>(words[i]) >> (8 * b));
    return record;
}

std::string clock_text(const ClockTime& t)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

}  // namespace tool
