// The hot-plug daemon's reading of MAJOR and MINOR values: the whole value,
// however long, as the C library reads it.
#include "hotplug/uevent_message.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

TEST(UeventNumbers, TheWholeValueIsRead)
{
    struct Row {
        std::string value;
        long number;
    };
    const Row rows[] = {
        {std::string(70, ' ') + "71", 71},
        {"\t\n" + std::string(70, ' ') + "-0x47", -0x47},
        {"-0x" + std::string(70, '0') + "47", -0x47},
        {std::string(70, '0') + "107", 0107},
        {"+" + std::string(70, '0') + "9", 0},  // octal: 9 is no digit
        {"00x1", 0},
        {"0x" + std::string(3, '0') + "x5", 0},
        {"12" + std::string(100, 'z'), 12},
        {"1000", 1000},
        {std::string(80, '9'), INT_MAX},
        {"-" + std::string(3, '0') + std::string(80, '7'), INT_MIN},
        {std::string(70, ' '), 0},
        {"", 0},
    };
    for (const Row& row : rows)
        EXPECT_EQ(usbhotplug::parse_number(row.value), row.number) << '"' << row.value << '"';
    // A value ends where its string ends, whatever the bytes after it.
    EXPECT_EQ(usbhotplug::parse_number(std::string_view("  5", 1)), 0);
    EXPECT_EQ(usbhotplug::parse_number(std::string_view("12345", 2)), 12);
    EXPECT_EQ(usbhotplug::parse_number(std::string_view("0007", 2)), 0);
}

TEST(UeventMessage, TheLastValueOfAKeyFromAnyStringToTheMessagesEnd)
{
    struct Row {
        std::string message;
        const char* key;
        const char* value;  // null: not found
    };
    using namespace std::string_literals;
    const Row rows[] = {
        {"MAJOR=179\0add@/devices/x\0"s, "MAJOR=", "179"},              // the first string
        {"add@/x\0MINOR=1\0MINOR=68\0"s, "MINOR=", "68"},               // the last of two
        {"add@/x\0MINOR=1\0MINOR=\0"s, "MINOR=", ""},                    // the last, empty
        {"add@/x\0DEVNAME=mmcblk2p4"s, "DEVNAME=", "mmcblk2p4"},         // no NUL at the end
        {"add@/x\0MAJOR=179\0"s, "MINOR=", nullptr},
        {""s, "MAJOR=", nullptr},
    };
    for (const Row& row : rows) {
        const usbhotplug::UeventMessage message(row.message.data(), row.message.size());
        std::string_view value;
        EXPECT_EQ(message.last_value(row.key, value), row.value != nullptr) << row.key;
        EXPECT_EQ(value, row.value != nullptr ? row.value : "") << row.key;
    }
}

}  // namespace
