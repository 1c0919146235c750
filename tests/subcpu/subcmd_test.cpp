// The sub-CPU packet: sizes by code, the checksum, and codes that have no
// packet at all.
#include "subcpu/subcmd.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(Subcmd, ChecksumOfTheWorkedExamples)
{
    const std::vector<std::vector<std::uint8_t>> packets = {
        {0xEE, 0x02, 0xF0, 0xF2},        // firmware status request
        {0xEE, 0x03, 0x02, 0x30, 0x35},  // read charger register 0x30
        {0xEE, 0x03, 0xF0, 0x00, 0xF3},  // firmware status reply, status 0
    };
    for (const auto& packet : packets)
        EXPECT_EQ(subcmd::checksum(packet.data()), packet.back());
    const std::uint8_t empty[] = {0xEE, 0x00, 0x55};
    EXPECT_EQ(subcmd::checksum(empty), 0);
}

TEST(Subcmd, SizesByCode)
{
    const struct {
        std::uint8_t code;
        unsigned send, recv;
    } cases[] = {{0x01, 6, 6},  {0x02, 5, 6},  {0x03, 4, 18}, {0x04, 4, 15}, {0x80, 4, 12}, {0x81, 4, 12},
                 {0xF3, 22, 5}, {0xF4, 7, 7},  {0xF5, 5, 5},  {0xF9, 4, 5},  {0x00, 0, 0},  {0x05, 0, 0},
                 {0x82, 0, 0},  {0xFA, 0, 0},  {0x10, 0, 0},  {0x8F, 0, 0},  {0xFF, 0, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(subcmd::get_send_size(c.code), c.send) << int{c.code};
        EXPECT_EQ(subcmd::get_recv_size(c.code), c.recv) << int{c.code};
    }
}

TEST(Subcmd, NumbersTravelBigEndianInTheirOwnBytes)
{
    const std::uint8_t wire[] = {0x12, 0x34, 0x56, 0x78};
    EXPECT_EQ(subcmd::big2short(wire), 0x1234);
    EXPECT_EQ(subcmd::big2long(wire), 0x12345678u);
    std::uint8_t out[6] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
    subcmd::long2big(0x12345678u, out);
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + 6), (std::vector<std::uint8_t>{0x12, 0x34, 0x56, 0x78, 0xAA, 0xAA}));
    subcmd::short2big(0xBEEF, out);
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + 3), (std::vector<std::uint8_t>{0xBE, 0xEF, 0x56}));
}

TEST(Subcmd, CodesWithoutASizeAreRefusedBeforeAnythingIsSent)
{
    for (const int code : {0x00, 0x05, 0x82, 0xFA, 0x10}) {
        testing::internal::CaptureStdout();
        int ok = 1;
        EXPECT_EQ(subcmd::sub_request(static_cast<std::uint8_t>(code), &ok), 0);
        EXPECT_EQ(ok, 0);
        char expected[32];
        std::snprintf(expected, sizeof expected, "send type error : %02x\n", code);
        // No device is open: a write would have printed its own error.
        EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);
    }
}

}  // namespace
