// Numbers read from text as the reader's C library reads them.
//
// The reader is a 32-bit machine: `long` and `unsigned long` are 32 bits
// there, so atoi and strtoul saturate at 32-bit limits. On a 64-bit
// development machine the same calls give other results outside that range
// (atoi("3000000000") is INT_MAX on the reader and -1294967296 here). The
// programs read every such number through these functions, so every build
// computes the reader's result.
#pragma once

#include <cerrno>
#include <cstdint>

namespace sys {
namespace numbers_detail {

constexpr bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

constexpr int digit_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 10;
    return 99;
}

struct Parsed {
    bool negative = false;
    bool overflow = false;  // the magnitude exceeds `limit`
    std::uint64_t magnitude = 0;
    const char* end = nullptr;  // just past the last digit, or the text's start
};

// The C library's number grammar: blanks, a sign, an optional "0x" for base
// 16 (base 0 picks 16, 8 or 10 from the prefix), then digits. Magnitudes
// above `limit` are flagged, not wrapped.
constexpr Parsed parse(const char* text, int base, std::uint64_t limit)
{
    Parsed out;
    out.end = text;
    if (text == nullptr || base < 0 || base == 1 || base > 36)
        return out;
    const char* p = text;
    while (is_space(*p))
        ++p;
    if (*p == '+' || *p == '-')
        out.negative = *p++ == '-';
    const bool hex_prefix = p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && digit_value(p[2]) < 16;
    if ((base == 0 || base == 16) && hex_prefix) {
        p += 2;
        base = 16;
    } else if (base == 0) {
        base = *p == '0' ? 8 : 10;
    }
    const char* first = p;
    for (; digit_value(*p) < base; ++p) {
        if (!out.overflow) {
            out.magnitude = out.magnitude * static_cast<unsigned>(base) + static_cast<unsigned>(digit_value(*p));
            out.overflow = out.magnitude > limit;
        }
    }
    if (p != first)
        out.end = p;
    return out;
}

}  // namespace numbers_detail

// strtoul with a 32-bit unsigned long: an overflow gives 0xFFFFFFFF with
// ERANGE, a minus sign negates modulo 2^32, no digits give 0 with `end` at
// the text's start.
inline std::uint32_t strtoul(const char* text, const char** end, int base) noexcept
{
    const auto parsed = numbers_detail::parse(text, base, UINT32_MAX);
    if (end != nullptr)
        *end = parsed.end;
    if (parsed.overflow) {
        errno = ERANGE;
        return UINT32_MAX;
    }
    const auto value = static_cast<std::uint32_t>(parsed.magnitude);
    return parsed.negative ? static_cast<std::uint32_t>(0u - value) : value;
}

// strtol with a 32-bit long: an overflow gives INT32_MAX or INT32_MIN with
// ERANGE.
inline std::int32_t strtol(const char* text, const char** end, int base) noexcept
{
    const auto parsed = numbers_detail::parse(text, base, std::uint64_t{INT32_MAX} + 1);
    if (end != nullptr)
        *end = parsed.end;
    if (parsed.negative)
        return parsed.overflow ? (errno = ERANGE, INT32_MIN)
                               : static_cast<std::int32_t>(-static_cast<std::int64_t>(parsed.magnitude));
    if (parsed.overflow || parsed.magnitude > INT32_MAX) {
        errno = ERANGE;
        return INT32_MAX;
    }
    return static_cast<std::int32_t>(parsed.magnitude);
}

// atoi, which is strtol in base 10 with a 32-bit long: saturates at the
// int32 range.
inline std::int32_t atoi(const char* text) noexcept
{
    const auto parsed = numbers_detail::parse(text, 10, std::uint64_t{INT32_MAX} + 1);
    if (parsed.negative)
        return parsed.overflow ? INT32_MIN : static_cast<std::int32_t>(-static_cast<std::int64_t>(parsed.magnitude));
    return parsed.overflow || parsed.magnitude > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(parsed.magnitude);
}

}  // namespace sys
