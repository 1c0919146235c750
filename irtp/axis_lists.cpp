#include "irtp/axis_lists.hpp"

#include <cstdio>

namespace irtp {
namespace {

int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The data bytes of a frame: from `first` up to byte LEN + 1, never past
// the buffer.
std::size_t frame_end(const std::uint8_t (&reply)[kReplyBuffer])
{
    const std::size_t end = std::size_t{reply[1]} + 2;
    return end < kReplyBuffer ? end : kReplyBuffer;
}

void print_axis(const char* tag, const AxisList& list)
{
    std::printf("%s", tag);
    for (std::size_t i = 0; i < list.count; ++i)
        std::printf("%02X ", list.values[i]);
    std::printf("\n");
}

}  // namespace

bool parse_hex_byte(const char* text, std::uint8_t& value)
{
    const int high = hex_value(text[0]);
    if (high < 0)
        return false;
    if (text[1] == '\0') {
        value = static_cast<std::uint8_t>(high);
        return true;
    }
    const int low = hex_value(text[1]);
    if (low < 0)
        return false;
    value = static_cast<std::uint8_t>(high << 4 | low);
    return true;
}

bool parse_hex_digit(const char* text, std::uint8_t& value)
{
    const int digit = hex_value(text[0]);
    if (digit < 0)
        return false;
    value = static_cast<std::uint8_t>(digit);
    return true;
}

AxisLists split_pulse_reply(const std::uint8_t (&reply)[kReplyBuffer])
{
    AxisLists lists;
    const std::size_t nx = reply[3];
    const std::size_t ny = reply[4];
    const std::size_t end = frame_end(reply);
    for (std::size_t at = 5, seen = 0; at < end && seen < nx + ny; ++at, ++seen)
        (seen < nx ? lists.x : lists.y).add(reply[at]);
    return lists;
}

AxisLists split_led_reply(const std::uint8_t (&reply)[kReplyBuffer])
{
    AxisLists lists;
    const std::size_t nx = reply[3];
    const std::size_t end = frame_end(reply);
    std::size_t at = 4;
    for (std::size_t seen = 0; at < end && seen < nx; ++at, ++seen)
        lists.x.add(reply[at]);
    if (at >= end)
        return lists;
    const std::size_t ny = reply[at++];
    for (std::size_t seen = 0; at < end && seen < ny; ++at, ++seen)
        lists.y.add(reply[at]);
    return lists;
}

void print_lists(const AxisLists& lists)
{
    print_axis("X:", lists.x);
    print_axis("Y:", lists.y);
}

}  // namespace irtp
