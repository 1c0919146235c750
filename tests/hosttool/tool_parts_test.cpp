// The tool's own parsing and output: clock times, numbers, options, the
// JSON text, the reader's refusals and the PC's files.
#include "hosttool/arguments.hpp"
#include "hosttool/clock_record.hpp"
#include "hosttool/json_text.hpp"
#include "hosttool/local_files.hpp"
#include "hosttool/reader_answers.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
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

TEST(ToolReaderAnswers, APartitionSizeRefusalIsThreeEqualNegativeWords)
{
    struct Case {
        unsigned words[3];
        int refusal;  // 0: a partition's words
    } cases[] = {
        {{0xFFFFFF29u, 0xFFFFFF29u, 0xFFFFFF29u}, -215},
        {{0xFFFFFF2Cu, 0xFFFFFF2Cu, 0xFFFFFF2Cu}, -212},
        {{0xFFFFFFFFu, 0xFFFFFFFFu, 9600}, 0},
        {{0x7FFFFFFFu, 0x7FFFFFFFu, 0x7FFFFFFFu}, 0},
        {{0, 0, 0}, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(tool::partition_size_refusal(c.words).value_or(0), c.refusal) << c.words[0];
}

std::string content(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(ToolLocalFiles, AFileTakesItsPlaceOnlyWhenWhole)
{
    const auto dir = std::filesystem::path(testing::TempDir()) / "tool_local_files";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "copy.bin").string();
    std::ofstream(path) << "old";
    const unsigned char bytes[] = {'n', 'e', 'w'};
    std::string error;
    {
        tool::LocalSink abandoned;
        ASSERT_TRUE(abandoned.open(path, error) && abandoned.write(bytes, error)) << error;
    }
    EXPECT_EQ(content(path), "old");
    EXPECT_FALSE(std::filesystem::exists(path + ".fendrac-part"));
    tool::LocalSink whole;
    ASSERT_TRUE(whole.open(path, error) && whole.write(bytes, error) && whole.commit(error)) << error;
    EXPECT_EQ(content(path), "new");
    EXPECT_FALSE(tool::LocalSink().open((dir / "none" / "x").string(), error));
    EXPECT_EQ(error, "No such file or directory");

    std::vector<unsigned char> read;
    EXPECT_TRUE(tool::read_whole(path, 3, read, error));
    EXPECT_EQ(read.size(), 3u);
    EXPECT_FALSE(tool::read_whole(path, 2, read, error));
    EXPECT_EQ(error, path + " has 3 bytes, more than the 2 it may have");
    tool::LocalSource source;
    ASSERT_TRUE(source.open(path, error));
    EXPECT_EQ(source.size().value_or(-1), 3);
}

}  // namespace
