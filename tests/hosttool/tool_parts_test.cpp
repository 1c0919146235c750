// The tool's own parsing and output: clock times, numbers, options and
// the JSON text.
#include "hosttool/arguments.hpp"
#include "hosttool/clock_record.hpp"
#include "hosttool/json_text.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(ToolClock, DatesAndTheirWeekdays)
{
    struct Case {
        const char* text;
        int weekday;  // -1: refused
    } cases[] = {
        {"1970-01-01T00:00:00", 4}, {"2000-02-29T23:59:59", 2}, {"2024-02-29T10:00:00", 4},
        {"2026-12-08T08:00:00", 2}, {"2100-03-01T00:00:00", 1}, {"2100-02-29T00:00:00", -1},
        {"2026-02-29T00:00:00", -1}, {"2026-04-31T00:00:00", -1}, {"2026-13-01T00:00:00", -1},
        {"2026-12-08T24:00:00", -1}, {"2026-12-08 08:00:00", -1}, {"2026-12-8T08:00:00", -1},
        {"1969-12-31T23:59:59", -1}, {"2026-12-08T08:00:0x", -1}, {"", -1},
    };
    for (const Case& c : cases) {
        const auto time = tool::parse_clock(c.text);
        ASSERT_EQ(time.has_value(), c.weekday >= 0) << c.text;
        if (time) {
            EXPECT_EQ(tool::weekday(*time), c.weekday) << c.text;
            EXPECT_EQ(tool::clock_text(*time), c.text);
        }
    }
    const auto record = tool::clock_record(*tool::parse_clock("2024-02-29T10:00:00"));
    const unsigned char expected[28] = {0xE8, 7, 0, 0, 2, 0, 0, 0, 29, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4};
    EXPECT_TRUE(std::equal(record.begin(), record.end(), expected));
}

TEST(ToolArguments, NumbersAndOptions)
{
    unsigned u = 0;
    int i = 0;
    EXPECT_TRUE(tool::parse_u32("0xFFFFFFFF", u) && u == 0xFFFFFFFFu);
    EXPECT_TRUE(tool::parse_i32("-2147483648", i) && i == INT32_MIN);
    for (const char* bad : {"", "0x", "4294967296", "-1", "12a", "0x1g", "99999999999999999999"})
        EXPECT_FALSE(tool::parse_u32(bad, u)) << bad;
    EXPECT_FALSE(tool::parse_i32("2147483648", i));

    std::vector<const char*> line = {"fendrac", "-d", "E:", "file", "get", "--json", "/a", "-", "--", "--lock"};
    auto parsed = tool::parse_arguments(static_cast<int>(line.size()), const_cast<char**>(line.data()));
    EXPECT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.device, "E:");
    EXPECT_TRUE(parsed.json);
    EXPECT_FALSE(parsed.lock) << "after --, a word";
    EXPECT_EQ(parsed.words, (std::vector<std::string>{"file", "get", "/a", "-", "--lock"}));

    for (std::vector<const char*> bad : {std::vector<const char*>{"fendrac", "--device"},
                                         {"fendrac", "--json=1", "info"},
                                         {"fendrac", "-x"}}) {
        parsed = tool::parse_arguments(static_cast<int>(bad.size()), const_cast<char**>(bad.data()));
        EXPECT_NE(parsed.error, "") << bad.back();
    }
    line = {"fendrac", "update", "mode", "-1", "--tag=x"};
    parsed = tool::parse_arguments(static_cast<int>(line.size()), const_cast<char**>(line.data()));
    EXPECT_EQ(parsed.words.back(), "-1");
    EXPECT_TRUE(parsed.has_tag && parsed.tag == "x");
}

TEST(ToolJson, TextIsEscapedAndAlwaysValidUtf8)
{
    struct Case {
        std::string in, out;
    } cases[] = {
        {"plain", "\"plain\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"\n\r\t\x01\x7f", "\"\\n\\r\\t\\u0001\\u007f\""},
        {"caf\xc3\xa9", "\"caf\xc3\xa9\""},
        {"\xff\xc3", "\"\\ufffd\\ufffd\""},
        {"\xed\xa0\x80", "\"\\ufffd\\ufffd\\ufffd\""},  // a surrogate
        {"\xc0\xaf", "\"\\ufffd\\ufffd\""},              // overlong
        {std::string("a\0b", 3), "\"a\\u0000b\""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(tool::json_string(c.in), c.out) << c.in;
    tool::JsonObject object;
    object.add("n", -201).add("u", 4294967295u).add_bool("ok", true).add_json("list", "[]");
    EXPECT_EQ(object.text(), "{\"n\":-201,\"u\":4294967295,\"ok\":true,\"list\":[]}");
}

}  // namespace
