// The touch-panel tools run as processes against the virtual reader's
// controller: arguments, outputs, exit statuses and the reply collection.
#include "tests/support/virtual_reader.hpp"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

struct Case {
    const char* why;
    std::vector<std::string> command;  // the tool and its arguments
    std::vector<std::vector<std::string>> faults;  // vreader fail's arguments
    std::string out;
    int status;
};

class IrtpTools : public ::testing::Test {
protected:
    void set_panel(const std::string& key, const std::string& value) const
    {
        const ProcessResult result = reader_.vreader({"set", reader_.path(), "panel." + key, value});
        ASSERT_EQ(result.status, 0) << result.err;
    }

    ProcessResult tool(const std::vector<std::string>& command) const
    {
        return reader_.run(command[0], std::vector<std::string>(command.begin() + 1, command.end()));
    }

    void check(const Case& c) const
    {
        ASSERT_EQ(reader_.vreader({"fail", reader_.path(), "--clear"}).status, 0);
        for (const auto& fault : c.faults) {
            std::vector<std::string> arguments{"fail", reader_.path()};
            arguments.insert(arguments.end(), fault.begin(), fault.end());
            const ProcessResult result = reader_.vreader(arguments);
            ASSERT_EQ(result.status, 0) << result.err;
        }
        const ProcessResult result = tool(c.command);
        EXPECT_EQ(result.out, c.out) << c.why;
        EXPECT_EQ(result.status, c.status) << c.why;
    }

    size_t requests_sent(const std::string& bytes) const
    {
        size_t count = 0;
        for (const JsonLine& request : reader_.requests("panel_request"))
            count += request.text("bytes") == bytes;
        return count;
    }

    VirtualReader reader_{{"--emmc-size", "16M"}};
};

TEST_F(IrtpTools, PulseToolArgumentsAndStatuses)
{
    set_panel("light.0F", "1 2 3 / 4 5");
    set_panel("light.1F", "10 20 30 / 40 50");
    const std::string lists = "X:0A 14 1E \nY:28 32 \n";
    const Case cases[] = {
        {"one digit", {"irtp_pulse2", "f"}, {}, "X:01 02 03 \nY:04 05 \n", 0},
        {"two digits", {"irtp_pulse2", "0F"}, {}, "X:01 02 03 \nY:04 05 \n", 0},
        {"third character ignored", {"irtp_pulse2", "1FZ"}, {}, lists, 0},
        {"level 0", {"irtp_pulse2", "00"}, {}, "NG", 0},
        {"level 0, one digit", {"irtp_lightlevel", "0"}, {}, "NG", 0},
        {"not hexadecimal", {"irtp_pulse2", "G"}, {}, "NG", 0},
        {"level without a request", {"irtp_pulse2", "30"}, {}, "NG", 0},
        {"level past the table", {"irtp_lightlevel", "60"}, {}, "NG", 0},
        {"too many arguments", {"irtp_pulse2", "1F", "1"}, {}, "NG", 0},
        {"threshold missing", {"irtp_pulse1", "1F"}, {}, "NG", 0},
        {"threshold 0", {"irtp_pulse1", "1F", "0"}, {}, "OK\n" + lists, 0},
        {"threshold reached", {"irtp_pulse1", "1F", "0A"}, {}, "OK\n" + lists, 0},
        {"threshold reached by Y only", {"irtp_pulse1", "1F", "1F"}, {}, "NG\n" + lists, 0},
        {"lightlevel line", {"irtp_lightlevel", "1F"}, {}, "fixed_light_level,1F,X,10,20,30,,Y,40,50,\n", 0},
        {"port will not open", {"irtp_pulse2", "1F"}, {{"ttymxc1:open", "ENOENT"}}, "NG", 0},
        {"active refused", {"irtp_pulse1", "1F", "1"}, {{"reply_01", "result:1", "3"}}, "NG", 0},
        // The first read is the active command's: it fails the set-up.
        {"active read error", {"irtp_lightlevel", "1F"}, {{"ttymxc1:read", "EIO"}}, "NG", 0},
        {"read error", {"irtp_lightlevel", "1F"}, {{"ttymxc1:read", "EIO", "1", "--after", "1"}}, "NGread error(5)\n",
         1},
        {"retry over", {"irtp_pulse2", "1F"}, {{"reply_0F", "code:0x0E", "3"}}, "NGretry over:packet ee,8,e\n", 1},
    };
    for (const Case& c : cases)
        check(c);
    EXPECT_TRUE(reader_.requests("panel_request").size() > 0);
}

TEST_F(IrtpTools, PulseOneMeasuresFiveTimesThenSaysNg)
{
    set_panel("light.1F", "10 20 30 / 40 50");
    const ProcessResult result = tool({"irtp_pulse1", "1F", "FF"});
    EXPECT_EQ(result.out, "NG\nX:0A 14 1E \nY:28 32 \n");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(requests_sent("01"), 1u);
    EXPECT_EQ(requests_sent("0F1F"), 5u);
}

TEST_F(IrtpTools, PulseListsFromOddReplies)
{
    std::string many;
    for (int i = 0; i < 110; ++i)
        many += std::to_string(i % 10) + " ";
    set_panel("light.01", many + "/ 200 201 202 203 204");
    set_panel("light.02", "/");
    set_panel("light.03", "7 / 8 9");
    const ProcessResult full = tool({"irtp_pulse2", "01"});
    ASSERT_EQ(full.status, 0);
    EXPECT_EQ(full.out.find("\n"), 2 + 100 * 3u) << "the X list keeps 100 values";
    EXPECT_TRUE(full.out.ends_with("Y:C8 C9 CA CB CC \n"));
    const Case cases[] = {
        {"no values", {"irtp_pulse1", "02", "10"}, {}, "OK\nX:\nY:\n", 0},
        {"one X value", {"irtp_pulse2", "03"}, {}, "X:07 \nY:08 09 \n", 0},
        // LEN 5 leaves room for two data bytes: the values that did not come
        // are not printed.
        {"LEN too short", {"irtp_pulse2", "03"}, {{"reply_0F", "len:5"}}, "X:07 \nY:08 \n", 0},
    };
    for (const Case& c : cases)
        check(c);
}

TEST_F(IrtpTools, ReplyCollection)
{
    const std::string status =
        "version        : 2.1.263.3\nactive         : 0\nScanningCounter: 1234\nConfig         : 0\n"
        "ScanningFreq   : pen=200 finger=100 idle=25\nResolution     : 600x800\n"
        "ActiveLeds     : start_x=0 end_x=47 start_y=0 end_y=63\nMaxArea        : 10 12\n";
    const Case cases[] = {
        {"in pieces", {"irtp_status"}, {{"reply_1E", "split:4"}}, status, 0},
        {"lead byte wrong once", {"irtp_status"}, {{"reply_1E", "lead:0x00"}}, status, 0},
        {"lead byte wrong", {"irtp_status"}, {{"reply_1E", "lead:0xEF", "3"}}, "NGretry over:packet ef,1d,1e\n", 1},
        // Two bytes make a frame of LEN 0; its code is the cleared byte.
        {"LEN 0", {"irtp_status"}, {{"reply_1E", "len:0", "3"}}, "NGretry over:packet ee,0,0\n", 1},
        {"LEN past the buffer", {"irtp_status"}, {{"reply_1E", "len:200", "3"}}, "NGretry over:packet ee,c8,1e\n", 1},
        {"LEN past the frame", {"irtp_status"}, {{"reply_1E", "len:40", "3"}}, "NGretry over:packet ee,28,1e\n", 1},
        {"silent panel", {"irtp_status"}, {{"reply_1E", "silent", "3"}}, "NGretry over:packet 0,0,0\n", 1},
        {"other code", {"irtp_status"}, {{"reply_1E", "code:0x1F", "3"}}, "NGretry over:packet ee,1d,1f\n", 1},
        {"read error", {"irtp_status"}, {{"ttymxc1:read", "EIO"}}, "NGread error(5)\n", 1},
        {"port will not open", {"irtp_status"}, {{"ttymxc1:open", "EACCES"}}, "NG", 0},
    };
    for (const Case& c : cases)
        check(c);
    // Each silent attempt waited its bounded second of virtual time.
    EXPECT_EQ(reader_.requests("poll").back().number("timeout"), 1000);
}

TEST_F(IrtpTools, StatusRecordFields)
{
    set_panel("config", "0x80030201");
    set_panel("scanning_freq", "1 2 3");
    set_panel("version", "1 0xFFFF 3 4");
    ProcessResult result = tool({"irtp_status"});
    EXPECT_NE(result.out.find("version        : 1.65535.3.4\n"), std::string::npos);
    EXPECT_NE(result.out.find("Config         : -2147286527\n"), std::string::npos);
    EXPECT_NE(result.out.find("ScanningFreq   : pen=3 finger=2 idle=1\n"), std::string::npos);
    // A record cut after byte 21: the fields past it print as 0.
    reader_.fail("reply_1E", "len:20");
    result = tool({"irtp_status"});
    EXPECT_NE(result.out.find("ScanningFreq   : pen=3 finger=2 idle=1\nResolution     : 88x0\n"), std::string::npos)
        << result.out;
    EXPECT_TRUE(result.out.ends_with("ActiveLeds     : start_x=0 end_x=0 start_y=0 end_y=0\nMaxArea        : 0 0\n"));
}

TEST_F(IrtpTools, LedChecks)
{
    set_panel("led.0E", "0x23 0x11 / 0x02");
    set_panel("led.1B", "0x11 0x12 / 0x13");
    const std::string lists = "X:23 11 \nY:02 \n";
    const Case cases[] = {
        {"low four bits pass", {"irtp_ledcheck1", "3"}, {}, "OK\n" + lists, 0},
        {"threshold 3x is 3", {"irtp_ledcheck1", "3x"}, {}, "OK\n" + lists, 0},
        {"X fails, Y passes", {"irtp_ledcheck1", "2"}, {}, "NG\n" + lists, 0},
        {"no port", {"irtp_ledcheck1", "3"}, {{"ttymxc1:open", "ENOENT"}}, "NG", 0},
        {"active unanswered once", {"irtp_ledcheck1", "3"}, {{"reply_01", "silent", "1"}}, "OK\n" + lists, 0},
        {"threshold 0", {"irtp_ledcheck1", "0"}, {}, "NG", 0},
        {"threshold z", {"irtp_ledcheck1", "z"}, {}, "NG", 0},
        {"no threshold", {"irtp_ledcheck1"}, {}, "NG", 0},
        {"active refused", {"irtp_ledcheck1", "3"}, {{"reply_01", "result:1", "3"}}, "NGactive error\n", 0},
        {"other code", {"irtp_ledcheck1", "F"}, {{"reply_0E", "code:0x0F", "1"}}, "data format error(f)\nOK\n" + lists, 0},
        {"read error", {"irtp_ledcheck1", "F"}, {{"ttymxc1:read", "EIO", "1", "--after", "1"}}, "NGread error(5)\n",
         1},
        {"second check", {"irtp_ledcheck2", "ignored"}, {}, "X:11 12 \nY:13 \n", 0},
        {"second check, other code", {"irtp_ledcheck2"}, {{"reply_1B", "code:0x0E", "3"}},
         "NGretry over:packet ee,6,e\n", 1},
        {"second check, read error", {"irtp_ledcheck2"}, {{"ttymxc1:read", "EIO", "1", "--after", "1"}},
         "NGread error(5)\n", 0},
        {"second check, no port", {"irtp_ledcheck2"}, {{"ttymxc1:open", "ENOENT"}}, "NG\n", 0},
        {"second check, active refused", {"irtp_ledcheck2"}, {{"reply_01", "result:2", "3"}}, "NG", 0},
    };
    for (const Case& c : cases)
        check(c);
    // The first check pauses 200 ms after the accepted active command; each
    // request's pulse is 50 us.
    bool paused = false, pulsed = false;
    for (const JsonLine& sleep : reader_.requests("usleep")) {
        paused |= sleep.number("usec") == 200000;
        pulsed |= sleep.number("usec") == 50;
    }
    EXPECT_TRUE(paused);
    EXPECT_TRUE(pulsed);
}

TEST_F(IrtpTools, VersionToolTakesOneReadAndKeepsTheLineAsserted)
{
    set_panel("version", "1 0x0A0B 0 0xFFFF");
    const std::string version =
        "Major version : 0x0001\nMinor version : 0x0A0B\nBuild version : 0x0000\nRevision      : 0xFFFF\n";
    const Case cases[] = {
        {"plain", {"irtp_version", "ignored"}, {}, version, 0},
        {"split once", {"irtp_version"}, {{"reply_0A", "split:2", "1"}}, version, 0},
        {"split each time", {"irtp_version"}, {{"reply_0A", "split:2", "3"}}, "NGretry over:packet ee,9,a\n", 1},
        {"LEN 10", {"irtp_version"}, {{"reply_0A", "len:10", "3"}}, "NGretry over:packet ee,a,a\n", 1},
        {"read error", {"irtp_version"}, {{"ttymxc1:read", "EIO"}}, "NGread error(5)\n", 1},
        {"send error once", {"irtp_version"}, {{"ttymxc1:write", "EIO"}}, "send error 5\n" + version, 0},
        {"send error", {"irtp_version"}, {{"ttymxc1:write", "EIO", "3"}},
         "send error 5\nsend error 5\nsend error 5\nNGretry over:packet 0,0,0\n", 1},
        {"no port", {"irtp_version"}, {{"ttymxc1:open", "ENOENT"}}, "NG", 0},
        {"nothing sent", {"irtp_version"}, {{"ttymxc1:write", "short", "3"}}, "NGretry over:packet 0,0,0\n", 1},
    };
    for (const Case& c : cases)
        check(c);
    reader_.clear_journal();
    tool({"irtp_version"});
    EXPECT_EQ(reader_.requests("TIOCMBIS").size(), 1u);
    EXPECT_EQ(reader_.requests("TIOCMBIC").size(), 1u) << "released once, before the request";
    EXPECT_EQ(reader_.requests("read").back().number("count"), 32) << "a reply of up to 32 bytes";
    std::size_t pauses = 0;  // 50 us before the request and after it
    for (const JsonLine& sleep : reader_.requests("usleep"))
        pauses += sleep.number("usec") == 50;
    EXPECT_EQ(pauses, 2u);
    // The line as the tools set it: raw, 8 bits, 115200 baud, reads of one byte at least.
    for (const char* program : {"irtp_version", "irtp_status"}) {
        reader_.clear_journal();
        tool({program});
        const auto set = reader_.requests("tcsetattr");
        ASSERT_EQ(set.size(), 1u) << program;
        EXPECT_EQ(set[0].text("settings"),
                  "115200 CS8 CREAD|HUPCL|CLOCAL iflag=IGNBRK|IGNPAR oflag=0 lflag=0 vmin=1 vtime=0");
    }
}

TEST_F(IrtpTools, ARequestNotSentWholeIsAFailedAttempt)
{
    set_panel("light.0F", "1 2 3 / 4 5");
    set_panel("light.1F", "10 20 30 / 40 50");
    // The first write, the active command, goes out; the next is cut short.
    const std::vector<std::string> cut_once = {"ttymxc1:write", "short", "1", "--after", "1"};
    const std::vector<std::string> cut_always = {"ttymxc1:write", "short", "always", "--after", "1"};
    const Case cases[] = {
        {"a pulse request cut once", {"irtp_pulse2", "1F"}, {cut_once}, "X:0A 14 1E \nY:28 32 \n", 0},
        {"a pulse request cut every time", {"irtp_pulse2", "1F"}, {cut_always}, "NGretry over:packet 0,0,0\n", 1},
        {"the active command cut every time", {"irtp_pulse2", "1F"}, {{"ttymxc1:write", "short", "always"}}, "NG", 0},
    };
    for (const Case& c : cases) {
        reader_.clear_journal();
        check(c);
        // No attempt waited for the answer to a request the panel never had.
        EXPECT_TRUE(reader_.requests("poll").empty()) << c.why;
    }
}

}  // namespace
