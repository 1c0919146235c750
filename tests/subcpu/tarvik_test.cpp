// tarvik run as a process against the virtual sub-CPU: its words, limits,
// messages and statuses, the link's errors, and the control mode around
// every connection.
#include "tests/support/virtual_reader.hpp"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

const std::string kSpi32 = "/sys/devices/platform/mxc_spi.2/spi3.2/control_mode";
const std::string kSpi30 = "/sys/devices/platform/mxc_spi.2/spi3.0/control_mode";

struct Case {
    const char* why;
    std::vector<std::string> arguments;
    std::vector<std::vector<std::string>> faults;  // vreader fail's arguments
    std::string out;
    int status;
};

class Tarvik : public ::testing::Test {
protected:
    ProcessResult tarvik(const std::vector<std::string>& arguments) const { return reader_.run("tarvik", arguments); }

    void check(const Case& c) const
    {
        ASSERT_EQ(reader_.vreader({"fail", reader_.path(), "--clear"}).status, 0);
        for (const auto& fault : c.faults) {
            std::vector<std::string> arguments{"fail", reader_.path()};
            arguments.insert(arguments.end(), fault.begin(), fault.end());
            ASSERT_EQ(reader_.vreader(arguments).status, 0);
        }
        const ProcessResult result = tarvik(c.arguments);
        EXPECT_EQ(result.out, c.out) << c.why;
        EXPECT_EQ(result.status, c.status) << c.why;
    }

    void set(const std::string& key, const std::string& value) const
    {
        ASSERT_EQ(reader_.vreader({"set", reader_.path(), key, value}).status, 0);
    }

    // The words written to the control-mode attribute, in order.
    std::vector<std::string> modes_written() const
    {
        std::vector<std::string> words;
        for (const JsonLine& write : reader_.requests("write"))
            if (write.has("text"))
                words.push_back(write.text("text"));
        return words;
    }

    VirtualReader reader_{{"--emmc-size", "16M"}};
};

TEST_F(Tarvik, HelpLineForLineAndEveryWayToIt)
{
    const std::string help = read_file(TARVIK_USAGE_GOLDEN);
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {},
             {"h"},
             {"-h"},
             {"--help"},
             {"reg", "help"},
             {"req", "st", "--help"},
             {"ver"},
             {"reg"},
             {"req", "zz"},
             {"frob"},
             {"ver", "x"}}) {
        const ProcessResult result = tarvik(arguments);
        EXPECT_EQ(result.out, help) << (arguments.empty() ? "" : arguments.back());
        EXPECT_EQ(result.status, 1);
    }
    EXPECT_TRUE(reader_.journal().empty()) << "nothing was opened";
}

TEST_F(Tarvik, WordsMatchByPrefix)
{
    const Case cases[] = {
        {"register", {"register", "r", "30"}, {}, "Summit reg read 30 : 40 : OK\n", 0},
        {"request status", {"request", "status"}, {}, "FW status : OK\n", 0},
        {"stx", {"req", "stx"}, {}, "FW status : OK\n", 0},
        {"words passed over", {"x", "req", "y", "st"}, {}, "FW status : OK\n", 0},
        {"version", {"version", "mcux"}, {}, "MCU Version : 20190521_1234 : OK\n", 0},
        {"self", {"ver", "self"}, {}, "UPD Version : 20181102_17 : OK\n", 0},
        {"reboot needs update mode", {"req", "reboot"}, {}, "MCU Reboot : NG\n", 0},
    };
    for (const Case& c : cases)
        check(c);
}

TEST_F(Tarvik, ChargerRegisters)
{
    std::string config = "Summit config reg\n";
    const char* values[] = {"12", "34", "0c", "20", "0a", "00", "47", "11", "80", "03", "0a", "05", "40", "00"};
    const char* registers[] = {"00", "01", "02", "03", "04", "05", "06", "07", "08", "09", "0a", "0b", "30", "31"};
    for (int i = 0; i < 14; ++i)
        config += std::string("  ") + registers[i] + " : " + values[i] + "\n";
    config.replace(config.find("0a : 0a"), 7, "0a : 1f");
    const Case cases[] = {
        {"config", {"reg", "c"}, {}, config + "  OK\n", 0},
        {"write", {"reg", "w", "0x30", "155"}, {}, "Summit reg write 30 : 55 : OK\n", 0},
        {"read back", {"reg", "r", "30"}, {}, "Summit reg read 30 : 55 : OK\n", 0},
        {"a status register keeps its value", {"reg", "w", "32", "7"}, {},
         "reg write recv data error (size=6) : EE 04 01 32 01 38\nSummit reg write 32 : 07 : NG\n", 1},
        {"echo of another register", {"reg", "r", "30"}, {{"reply_02", "result:0x31"}},
         "reg read recv data error (size=6) : EE 04 02 31 55 8C\nSummit reg read 30 : NG\n", 1},
        {"missing value", {"reg", "w", "30"}, {}, "An argument error. : NG\n", 1},
        {"missing register", {"reg", "r"}, {}, "An argument error. : NG\n", 1},
    };
    for (const Case& c : cases)
        check(c);
    const ProcessResult status = tarvik({"reg", "s"});
    EXPECT_TRUE(status.out.starts_with("Summit status reg\n  32 : 01\n"));
    EXPECT_TRUE(status.out.ends_with("  3f : 07\n  OK\n"));
    std::string numbers;
    for (std::size_t at = status.out.find("\n  "); at != std::string::npos; at = status.out.find("\n  ", at + 1))
        numbers += status.out.substr(at + 3, 2) + " ";
    EXPECT_EQ(numbers, "32 33 34 35 36 37 38 39 3d 3e 3f OK ");
}

TEST_F(Tarvik, LinkErrorsAreReportedWithTheirPackets)
{
    const Case cases[] = {
        {"short read", {"req", "st"}, {{"sub_cpu:read", "short"}}, "recv error (size=5 read=2)\nsend data : EE 02 F0 F2\nNG\n", 1},
        {"short write", {"req", "st"}, {{"sub_cpu:write", "short"}}, "send error (size=4 wirte=2) : EE 02 F0 F2\nNG\n", 1},
        {"another code", {"req", "st"}, {{"reply_F0", "code:0xF1"}}, "recv data error (size=5) : EE 03 F1 00 F4\nNG\n", 1},
        {"wrong length", {"req", "st"}, {{"reply", "len:4"}}, "recv data error (size=5) : EE 04 F0 00 F4\nNG\n", 1},
        {"checksum one off", {"req", "st"}, {{"reply_F0", "sum:0xF4"}}, "recv sum error (size=5 sum=F3) : EE 03 F0 00 F4\nNG\n", 1},
        {"device will not open", {"req", "st"}, {{"sub_cpu:open", "ENODEV"}}, "  cannot open : /dev/sub_cpu\nNG\n", 1},
        {"status byte not 0", {"req", "st"}, {{"reply_F0", "result:3"}}, "FW status : NG\n", 0},
        {"register read, device will not open", {"reg", "r", "30"}, {{"sub_cpu:open", "ENODEV"}},
         "  cannot open : /dev/sub_cpu\nNG\n", 1},
        {"register block, device will not open", {"reg", "c"}, {{"sub_cpu:open", "ENODEV"}},
         "  cannot open : /dev/sub_cpu\nNG\n", 1},
        {"flash read, device will not open", {"req", "r", "1000", "1"}, {{"sub_cpu:open", "ENODEV"}},
         "  cannot open : /dev/sub_cpu\nNG\n", 1},
        {"flash write, device will not open: one NG more", {"req", "w", "1000", "1"}, {{"sub_cpu:open", "ENODEV"}},
         "  cannot open : /dev/sub_cpu\nNG\nNG\n", 1},
        // Every other exchange ends the same way when its reply is cut.
        {"register write", {"reg", "w", "30", "41"}, {{"sub_cpu:read", "short"}},
         "recv error (size=6 read=3)\nsend data : EE 04 01 30 41 76\nSummit reg write 30 : 41 : NG\n", 1},
        {"register read", {"reg", "r", "30"}, {{"sub_cpu:read", "short"}},
         "recv error (size=6 read=3)\nsend data : EE 03 02 30 35\nSummit reg read 30 : NG\n", 1},
        {"version", {"ver", "mcu"}, {{"sub_cpu:read", "short"}}, "recv error (size=12 read=6)\nsend data : EE 02 80 82\nNG\n",
         1},
        {"register block", {"reg", "c"}, {{"sub_cpu:read", "short"}},
         "recv error (size=18 read=9)\nsend data : EE 02 03 05\nSummit config reg\n  NG\n", 1},
    };
    for (const Case& c : cases)
        check(c);
}

TEST_F(Tarvik, ControlModeAroundEveryConnection)
{
    EXPECT_EQ(tarvik({"req", "st"}).status, 0);
    EXPECT_EQ(modes_written(), (std::vector<std::string>{"update", "normal"}));
    EXPECT_EQ(reader_.state("control_mode"), "normal");

    // The device cannot be opened: the link is handed back all the same.
    reader_.fail("sub_cpu:open", "ENODEV");
    EXPECT_EQ(tarvik({"ver", "mcu"}).status, 1);
    EXPECT_EQ(modes_written(), (std::vector<std::string>{"update", "normal", "update", "normal"}));
    EXPECT_EQ(reader_.state("control_mode"), "normal");

    // Outside update mode the device refuses the requests.
    set("subcpu.control_mode", "normal");
    reader_.fail("control_mode:write", "EIO");
    EXPECT_EQ(tarvik({"req", "st"}).out, "'update' write error : " + kSpi32 + "\n");

    // No-send mode: packets printed, the device never opened, "normal" still written.
    reader_.clear_journal();
    const ProcessResult result = tarvik({"reg", "c", "n"});
    EXPECT_EQ(result.out, "send_data :  EE 02 03 05\nSummit config reg\n  OK\n");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(tarvik({"reg", "r", "30", "n"}).out, "send_data :  EE 03 02 30 35\nSummit reg read 30 : 00 : OK\n");
    EXPECT_TRUE(reader_.requests("sub_cpu_request").empty());
    EXPECT_EQ(modes_written(), (std::vector<std::string>{"normal", "normal"}));
}

// The codes on the wire, as the sub-CPU's firmware knows them; the virtual
// sub-CPU shares the tool's code table, so only these bytes pin it.
TEST_F(Tarvik, EveryRequestsPacketInNoSendMode)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"req", "st"}, "EE 02 F0 F2"},      {{"req", "us"}, "EE 02 F1 F3"},
        {{"req", "ue"}, "EE 02 F2 F4"},      {{"req", "sw"}, "EE 02 F7 F9"},
        {{"req", "b"}, "EE 02 F8 FA"},       {{"req", "um"}, "EE 02 F9 FB"},
        {{"req", "e", "4"}, "EE 03 F5 04 FC"}, {{"req", "v", "4"}, "EE 03 F6 04 FD"},
        {{"req", "r", "1000", "1"}, "EE 05 F4 10 00 01 0A"},
        {{"ver", "mcu"}, "EE 02 80 82"},     {{"ver", "self"}, "EE 02 81 83"},
        {{"reg", "s"}, "EE 02 04 06"},       {{"reg", "w", "30", "40"}, "EE 04 01 30 40 75"},
    };
    for (auto [words, packet] : cases) {
        words.push_back("n");
        EXPECT_EQ(split_lines(tarvik(words).out).at(0), "send_data :  " + packet) << words[1];
    }
}

TEST_F(Tarvik, ALinkNotHandedBackToTheKernelFailsTheCommand)
{
    // "update" is written, "normal" is not: every way a command ends says so.
    const std::vector<std::string> normal_refused{"control_mode:write", "EIO", "1", "--after", "1"};
    const std::string error = "'normal' write error : " + kSpi32 + "\n";
    const std::string ff15 = " ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff";
    set("subcpu.update_mode", "1");
    const Case cases[] = {
        {"status", {"req", "st"}, {normal_refused}, "FW status : OK\n" + error, 1},
        {"erase", {"req", "e", "4"}, {normal_refused}, "Block erase : OK\n" + error, 1},
        {"write", {"req", "w", "1000", "1"}, {normal_refused}, "Write : 1000 : 01" + ff15 + " : OK\n" + error, 1},
        {"read", {"req", "r", "1000", "1"}, {normal_refused}, "Read : 1000 : 01\n" + error, 1},
        {"register", {"reg", "r", "30"}, {normal_refused}, "Summit reg read 30 : 40 : OK\n" + error, 1},
        {"version", {"ver", "mcu"}, {normal_refused}, "MCU Version : 20190521_1234 : OK\n" + error, 1},
        {"no-send", {"reg", "c", "n"}, {{"control_mode:write", "EIO"}},
         "send_data :  EE 02 03 05\nSummit config reg\n  OK\n" + error, 1},
    };
    for (const Case& c : cases)
        check(c);
    ASSERT_EQ(reader_.vreader({"fail", reader_.path(), "control_mode:write", "EIO", "1", "--after", "1"}).status, 0);
    const ProcessResult all = tarvik({"reg", "s"});
    EXPECT_TRUE(all.out.ends_with("  OK\n" + error)) << all.out;
    EXPECT_EQ(all.status, 1);
}

TEST_F(Tarvik, OlderBoardsAnswerOnChipSelectZero)
{
    VirtualReader old({"--emmc-size", "16M", "--spi-cs", "0"});
    ProcessResult result = old.run("tarvik", {"req", "st"});
    EXPECT_EQ(result.out, "old spi ctrl open\n\nFW status : OK\nold spi ctrl open\n\n");
    EXPECT_EQ(result.status, 0);
    ASSERT_EQ(old.vreader({"fail", old.path(), "open", "ENOENT", "always"}).status, 0);
    result = old.run("tarvik", {"req", "st"});
    EXPECT_EQ(result.out, "old spi ctrl open\n\nopen error : " + kSpi32 + " or " + kSpi30 + "\n");
    EXPECT_EQ(result.status, 1);
}

TEST_F(Tarvik, WritesInUnitsWithinTheFlash)
{
    set("subcpu.update_mode", "1");
    ASSERT_EQ(tarvik({"req", "e", "4"}).out, "Block erase : OK\n");
    std::vector<std::string> seventeen{"req", "w", "73e0"};
    for (int i = 0; i < 17; ++i)
        seventeen.push_back("a" + std::to_string(i % 10));
    std::vector<std::string> over = seventeen;
    over[2] = "73f0";
    const std::string ff13 = " ff ff ff ff ff ff ff ff ff ff ff ff ff";
    const Case cases[] = {
        {"one unit, padded", {"req", "w", "1000", "1", "2", "3"}, {}, "Write : 1000 : 01 02 03" + ff13 + " : OK\n", 0},
        {"d5 traces, 0d5 is data", {"req", "w", "1010", "0d5", "d5"}, {},
         "send_data :  EE 14 F3 10 10 D5 FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF ED\n"
         "recv_data :  EE 03 F3 00 F6\nWrite : 1010 : d5 ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff : OK\n",
         0},
        {"unerased flash refuses", {"req", "w", "1000", "7"}, {}, "Write : 1000 : 07 ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff : NG\n", 1},
        {"past the end", over, {}, "address over error : start=73f0 + count=32 - 1 = 740f > 73ff : NG\n", 1},
        {"below the flash", {"req", "w", "fff", "1"}, {}, "address error : fff (1000 - 73ff) : NG\n", 1},
        {"above the flash", {"req", "w", "7400", "1"}, {}, "address error : 7400 (1000 - 73ff) : NG\n", 1},
        {"no data", {"req", "w", "1000", "d"}, {}, "no write data : NG\n", 1},
        {"an address and no data", {"req", "w", "1000"}, {}, "An argument error. : NG\n", 1},
        {"no-send", {"req", "w", "2000", "1", "n"}, {},
         "send_data :  EE 14 F3 20 00 01 FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF 19\nOK\n", 0},
    };
    for (const Case& c : cases)
        check(c);
    // 17 bytes at 0x73e0: two units, up to the flash's last address.
    const ProcessResult result = tarvik(seventeen);
    EXPECT_EQ(result.status, 0);
    const auto lines = split_lines(result.out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[1].starts_with("Write : 73f0 : a6 ff ")) << lines[1];
}

TEST_F(Tarvik, ReadsInRowsOfSixteen)
{
    set("subcpu.update_mode", "1");
    const auto rows = [&](const std::string& count) { return split_lines(tarvik({"req", "r", "1000", count}).out); };
    auto lines = rows("20");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(lines[0].starts_with("Read : 1000 : "));
    EXPECT_TRUE(lines[1].starts_with("Read : 1010 : "));
    EXPECT_EQ(lines[2], "OK");
    lines = rows("11");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].size(), std::string("Read : 1010 : ff").size());
    const Case cases[] = {
        {"below the flash", {"req", "r", "fff", "1"}, {}, "address error : fff (1000 - 73ff) : NG\n", 1},
        {"count 0", {"req", "r", "1000", "0"}, {}, "read count error : 0 : NG\n", 1},
        {"past the end", {"req", "r", "73f0", "11"}, {}, "address over error : address=73f0 + count=17 - 1 = 7400 > 73ff : NG\n", 1},
        // The reader's long is 32 bits: these sums pass its limit, and must not wrap past the check.
        {"a count near the long's limit", {"req", "r", "1000", "7ffff000"}, {},
         "address over error : address=1000 + count=2147479552 - 1 = 7fffffff > 73ff : NG\n", 1},
        {"a count past 32 bits reads as the limit", {"req", "r", "73ff", "100000000"}, {},
         "address over error : address=73ff + count=2147483647 - 1 = 800073fd > 73ff : NG\n", 1},
        {"a negative count", {"req", "r", "1000", "-1"}, {}, "read count error : -1 : NG\n", 1},
        {"no count", {"req", "r", "1000"}, {}, "An argument error. : NG\n", 1},
        {"no-send", {"req", "r", "1000", "2", "n"}, {}, "send_data :  EE 05 F4 10 00 01 0A\nsend_data :  EE 05 F4 10 01 01 0B\nOK\n", 0},
    };
    for (const Case& c : cases)
        check(c);
    // A byte that fails ends its row.
    set("subcpu.update_mode", "0");
    const ProcessResult result = tarvik({"req", "r", "1000", "2"});
    EXPECT_EQ(result.out, "Read : 1000 :\nNG\n");
    EXPECT_EQ(result.status, 1);
}

TEST_F(Tarvik, BlocksFourToTwentyEight)
{
    set("subcpu.update_mode", "1");
    const Case cases[] = {
        {"block 3", {"req", "e", "3"}, {}, "block number error : 3 (4 - 28) : NG\n", 1},
        {"block 29", {"req", "v", "29"}, {}, "block number error : 29 (4 - 28) : NG\n", 1},
        {"block 4", {"req", "e", "4"}, {}, "Block erase : OK\n", 0},
        {"block 28", {"req", "v", "28"}, {}, "Block verify : OK\n", 0},
        {"reply cut", {"req", "e", "4"}, {{"sub_cpu:read", "short"}},
         "recv error (size=5 read=2)\nsend data : EE 03 F5 04 FC\nNG\n", 1},
        {"no block", {"req", "e"}, {}, "An argument error. : NG\n", 1},
    };
    for (const Case& c : cases)
        check(c);
}

}  // namespace
