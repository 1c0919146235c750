// The pulse and LED check replies split into their X and Y lists: counts,
// surplus bytes, frames too short for their counts, and lists that are full.
#include "irtp/axis_lists.hpp"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

namespace {

using Values = std::vector<int>;

Values values(const irtp::AxisList& list) { return Values(list.values.begin(), list.values.begin() + list.count); }

void reply(std::uint8_t (&buffer)[irtp::kReplyBuffer], std::initializer_list<int> bytes)
{
    std::fill(std::begin(buffer), std::end(buffer), 0);
    std::size_t i = 0;
    for (const int byte : bytes)
        buffer[i++] = static_cast<std::uint8_t>(byte);
}

TEST(AxisLists, PulseReplyTakesExactlyTheCountsOfEachAxis)
{
    const struct {
        const char* why;
        std::initializer_list<int> frame;
        Values x, y;
    } cases[] = {
        {"three and two", {0xEE, 8, 0x0F, 3, 2, 10, 20, 30, 40, 50}, {10, 20, 30}, {40, 50}},
        {"fewer than three X", {0xEE, 6, 0x0F, 1, 2, 10, 40, 50}, {10}, {40, 50}},
        {"none", {0xEE, 3, 0x0F, 0, 0}, {}, {}},
        {"surplus skipped", {0xEE, 9, 0x0F, 1, 1, 10, 40, 99, 99}, {10}, {40}},
        {"LEN too short", {0xEE, 5, 0x0F, 3, 2, 10, 20, 30, 40, 50}, {10, 20}, {}},
    };
    for (const auto& c : cases) {
        std::uint8_t buffer[irtp::kReplyBuffer];
        reply(buffer, c.frame);
        const irtp::AxisLists lists = irtp::split_pulse_reply(buffer);
        EXPECT_EQ(values(lists.x), c.x) << c.why;
        EXPECT_EQ(values(lists.y), c.y) << c.why;
    }
}

TEST(AxisLists, LedReplyCarriesItsYCountAfterTheXResults)
{
    const struct {
        const char* why;
        std::initializer_list<int> frame;
        Values x, y;
    } cases[] = {
        {"two and one", {0xEE, 6, 0x0E, 2, 0x11, 0x12, 1, 0x13}, {0x11, 0x12}, {0x13}},
        {"surplus skipped", {0xEE, 7, 0x0E, 1, 0x11, 1, 0x13, 0x77}, {0x11}, {0x13}},
        {"ends before nY", {0xEE, 4, 0x0E, 2, 0x11, 0x12, 1, 0x13}, {0x11, 0x12}, {}},
        {"ends inside X", {0xEE, 4, 0x0E, 3, 0x11, 0x12, 0x13, 1, 0x14}, {0x11, 0x12}, {}},
        {"ends inside Y", {0xEE, 6, 0x0E, 1, 0x11, 3, 0x13, 0x14, 0x15}, {0x11}, {0x13, 0x14}},
    };
    for (const auto& c : cases) {
        std::uint8_t buffer[irtp::kReplyBuffer];
        reply(buffer, c.frame);
        const irtp::AxisLists lists = irtp::split_led_reply(buffer);
        EXPECT_EQ(values(lists.x), c.x) << c.why;
        EXPECT_EQ(values(lists.y), c.y) << c.why;
    }
}

TEST(AxisLists, ListsKeepTheirFirstHundredAndNoFrameIsReadPastTheBuffer)
{
    std::uint8_t buffer[irtp::kReplyBuffer];
    std::fill(std::begin(buffer), std::end(buffer), 7);
    buffer[0] = 0xEE;
    buffer[1] = 0xFF;  // far past the buffer
    buffer[3] = 110;
    buffer[4] = 40;
    irtp::AxisLists lists = irtp::split_pulse_reply(buffer);
    EXPECT_EQ(lists.x.count, 100);
    EXPECT_EQ(lists.y.count, 13);  // 128 - 5 - 110 bytes left for Y
    buffer[3] = 200;
    lists = irtp::split_led_reply(buffer);
    EXPECT_EQ(lists.x.count, 100);
    EXPECT_EQ(lists.y.count, 0);
}

TEST(AxisLists, HexArguments)
{
    const struct {
        const char* text;
        bool byte_ok;
        int byte;
        bool digit_ok;
        int digit;
    } cases[] = {{"f", true, 0x0F, true, 0xF},   {"0F", true, 0x0F, true, 0}, {"1FZ", true, 0x1F, true, 1},
                 {"G", false, 0, false, 0},      {"", false, 0, false, 0},    {"3x", false, 0, true, 3},
                 {"00", true, 0, true, 0},       {"aB", true, 0xAB, true, 0xA}};
    for (const auto& c : cases) {
        std::uint8_t value = 0xCC;
        EXPECT_EQ(irtp::parse_hex_byte(c.text, value), c.byte_ok) << c.text;
        if (c.byte_ok) {
            EXPECT_EQ(value, c.byte) << c.text;
        }
        EXPECT_EQ(irtp::parse_hex_digit(c.text, value), c.digit_ok) << c.text;
        if (c.digit_ok) {
            EXPECT_EQ(value, c.digit) << c.text;
        }
    }
}

}  // namespace
