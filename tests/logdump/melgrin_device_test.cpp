// melgrin against the virtual reader's past-log driver: the handshake, the
// flush, and the log as text and as a dump that reads back the same.
#include "tests/support/virtual_reader.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace testing_support;

namespace {

using Strings = std::vector<std::string>;

class MelgrinDevice : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("TZ", "UTC", 1); }
    ProcessResult melgrin(const std::vector<std::string>& words) const { return reader_.run("melgrin", words); }

    VirtualReader reader_{{"--emmc-size", "16M"}};
};

TEST_F(MelgrinDevice, TheLogAsTextAndAsADumpThatReadsBackTheSame)
{
    const ProcessResult text = melgrin({});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.err, "");
    const Strings lines = split_lines(text.out);
    ASSERT_GE(lines.size(), 300u);
    // The first entries hold the awkward cases of the generated log.
    EXPECT_TRUE(lines[0].starts_with("2014-03-17 06:42:10.000 ")) << lines[0];
    EXPECT_TRUE(lines[1].starts_with("2014-03-17 06:42:10.999 ")) << lines[1];
    EXPECT_TRUE(lines[2].starts_with("2014-03-17 06:42:11.001 ")) << lines[2];
    for (const char* letter : {" V ", " D ", " I ", " W ", " E ", " F ", " S ", " ? "})
        EXPECT_NE(text.out.find(letter), std::string::npos) << letter;

    const std::string dump = reader_.temp_file("past.bin");
    const ProcessResult binary = melgrin({"bin", "-o", dump});
    EXPECT_EQ(binary.status, 0) << binary.err;
    EXPECT_EQ(read_file(dump), read_file(reader_.path() + "/past_log.bin"));
    EXPECT_EQ(melgrin({"-i", dump}).out, text.out);
    const std::string copy = reader_.temp_file("past.txt");
    EXPECT_EQ(melgrin({"out", "-o", copy}).status, 0);
    EXPECT_EQ(read_file(copy), text.out);
    EXPECT_EQ(reader_.requests("PASTLOG_CONFIRM").size(), 3u) << "one handshake for each run";
}

TEST_F(MelgrinDevice, FlushIsAllThatRunsWhenAsked)
{
    EXPECT_EQ(reader_.state("past_log_flushes"), "0");
    ProcessResult result = melgrin({"flush"});
    EXPECT_EQ(result.status, 0) << result.err;
    result = melgrin({"out", "flush", "bin"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(reader_.state("past_log_flushes"), "2");
    EXPECT_TRUE(reader_.requests("PASTLOG_CHALLENGE").empty());

    reader_.fail("melgrin:PASTLOG_FLUSH", "EIO");
    result = melgrin({"flushing"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "flush error : /dev/melgrin\n");
    reader_.fail("melgrin:open", "EACCES");
    result = melgrin({"flush"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "cannot open : /dev/melgrin\n");
}

TEST_F(MelgrinDevice, AFailedHandshakeOrReadIsRetriedThreeTimes)
{
    struct Row {
        const char* request;
        const char* effect;
        std::string message;
    };
    const std::vector<Row> rows = {
        {"melgrin:PASTLOG_CHALLENGE", "EIO", "h1 error : /dev/melgrin\n"},
        {"melgrin:PASTLOG_COMPLEMENT", "reject", "h2 error : /dev/melgrin\n"},
        {"melgrin:PASTLOG_CONFIRM", "reject", "h3 error : /dev/melgrin\n"},
        {"log_past:open", "EIO", "cannot open : /dev/log_past\n"},
        {"log_past:read", "EIO", "cannot read : /dev/log_past\n"},
    };
    const std::string whole = melgrin({}).out;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.request);
        reader_.clear_journal();
        reader_.fail(row.request, row.effect, "3");
        ProcessResult result = melgrin({});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, row.message + row.message + row.message);
        const std::vector<JsonLine> pauses = reader_.requests("nanosleep");
        EXPECT_EQ(pauses.size(), 3u);
        for (const JsonLine& pause : pauses)
            EXPECT_EQ(pause.number("sec"), 3);
        EXPECT_EQ(reader_.requests("sync").size(), 9u) << "every attempt ends with the clean-up";

        // Once only: the second attempt works, and prints the whole log once.
        reader_.fail(row.request, row.effect, "1");
        result = melgrin({});
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err, row.message);
        EXPECT_EQ(result.out, whole);
    }

    // A read error in the middle: the lines before it, then the retry.
    EXPECT_EQ(reader_.vreader({"fail", reader_.path(), "log_past:read", "EIO", "1", "--after", "50"}).status, 0);
    const ProcessResult result = melgrin({});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "cannot read : /dev/log_past\n");
    EXPECT_TRUE(result.out.ends_with(whole));
    EXPECT_GT(result.out.size(), whole.size());
}

TEST_F(MelgrinDevice, AnEntryLongerThanTheReadLimitFailsTheRead)
{
    EXPECT_EQ(reader_.vreader({"pastlog", reader_.path(), "--generate", "20", "--long", "10"}).status, 0);
    const ProcessResult result = melgrin({});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "cannot read : /dev/log_past\ncannot read : /dev/log_past\ncannot read : /dev/log_past\n");
    // Nine entries (one of them two lines long), three times.
    EXPECT_EQ(split_lines(result.out).size(), 30u);
}

}  // namespace
