// What the pulse and LED check tools share: their hexadecimal arguments,
// the X and Y lists a reply carries, and printing them.
#pragma once

#include "irtp/irtp_link.hpp"

#include <array>
#include <cstdint>

namespace irtp {

inline constexpr std::size_t kListSize = 100;

// One axis: the values that arrived, at most kListSize of them.
struct AxisList {
    std::array<std::uint8_t, kListSize> values{};
    std::uint8_t count = 0;

    void add(std::uint8_t value)
    {
        if (count < kListSize)
            values[count++] = value;
    }
};

struct AxisLists {
    AxisList x;
    AxisList y;
};

// One or two hexadecimal digits, the first the high one when there are
// two; characters after the second are ignored. false for anything else.
bool parse_hex_byte(const char* text, std::uint8_t& value);
// The first character as one hexadecimal digit; the rest is ignored.
bool parse_hex_digit(const char* text, std::uint8_t& value);

// Pulse reply: nX at byte 3, nY at byte 4, then the nX X values and the nY
// Y values. Surplus bytes are skipped; values past the 100 a list holds, or
// past the frame's end, are not stored.
AxisLists split_pulse_reply(const std::uint8_t (&reply)[kReplyBuffer]);
// LED check reply: nX at byte 3, the X results, nY, the Y results.
AxisLists split_led_reply(const std::uint8_t (&reply)[kReplyBuffer]);

// "X:" and each value as "%02X ", a line; then the same for Y.
void print_lists(const AxisLists& lists);

}  // namespace irtp
