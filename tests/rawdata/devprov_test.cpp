// devprov run as a process against a virtual reader: its options, the
// identity area's layout, the key blob, and its start-up failures.
#include "tests/support/virtual_reader.hpp"

#include <gtest/gtest.h>

#include <filesystem>

using namespace testing_support;

namespace {

const std::string kSmallId = "Id Data:0x00400000:0x00004000\n";  // room for 0x0FFC key bytes

class Devprov : public ::testing::Test {
protected:
    ProcessResult devprov(const std::vector<std::string>& arguments, const std::string& input = {}) const
    {
        return reader_.run("devprov", arguments, input);
    }
    // The identity area's bytes at `offset`.
    std::string id(std::size_t offset, std::size_t length) const
    {
        return reader_.area("Id Data", offset + length).substr(offset);
    }

    VirtualReader reader_{{"--emmc-size", "16M"}};
};

TEST_F(Devprov, OptionsAndTheLayout)
{
    ProcessResult result = devprov({"-offset"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "0x0000(0x0010:    16): product_name\n"
                          "0x0010(0x0010:    16): sku_name\n"
                          "0x0020(0x0010:    16): device_id\n"
                          "0x0030(0x000F:    15): serial_number\n"
                          "0x0100(0x0006:     6): wifi_mac_address\n"
                          "0x0200(0x000E:    14): meid\n"
                          "0x0210(0x000B:    11): psn\n"
                          "0x021B(0x0002:     2): psn_check_digit\n"
                          "0x1000(0x1000:  4096): factoryid\n"
                          "0x3000(0x0004:     4): moa_size\n");
    EXPECT_EQ(devprov({"--offset", "-dump", "psn"}).out, result.out) << "only the first option counts";
    EXPECT_EQ(devprov({"-off"}).out, result.out) << "the parser takes a unique abbreviation";

    std::string area = reader_.area("Id Data", 0x40);
    area.replace(0x30, 15, "SN0123456789ABC");
    reader_.put("Id Data", area);
    result = devprov({"--dump", "serial_number"});
    EXPECT_EQ(result.out, "SN0123456789ABC");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(devprov({"-dump", "moa_size"}).out.size(), 4u);
    result = devprov({"-dump", "serial_numbr"});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.status, 0);

    for (const std::vector<std::string>& wrong :
         {std::vector<std::string>{}, {"-bogus"}, {"-dump"}, {"psn"}, {"-offset=1"}}) {
        result = devprov(wrong);
        EXPECT_EQ(result.status, 255) << (wrong.empty() ? "" : wrong[0]);
        EXPECT_EQ(result.out, "");
    }
}

TEST_F(Devprov, TheKeyBlob)
{
    const struct {
        const char* why;
        std::string input;
        int status;
        std::string key;  // what get-moa prints afterwards
    } cases[] = {
        {"pairs, the odd digit not counted", "0a1b2", 0, "\x0a\x1b"},
        {"line ends and tabs skipped", "0A\r\n19\tff\n", 0, "\x0a\x19\xff"},
        {"Ctrl-D ends the input", "ab\x04" "cd", 0, "\xab"},
        {"a space fails at once", "0a 1b", 255, ""},
        {"empty input", "", 255, ""},
        {"a lone digit", "7", 255, ""},
        {"not hex", "0g", 255, ""},
    };
    for (const auto& c : cases) {
        const ProcessResult set = devprov({"-set-moa"}, c.input);
        EXPECT_EQ(set.out, "READY\n") << c.why;
        EXPECT_EQ(set.status, c.status) << c.why;
        const ProcessResult get = devprov({"-get-moa"});
        EXPECT_EQ(get.out, c.key) << c.why;
        EXPECT_EQ(get.status, c.key.empty() ? 255 : 0) << c.why;
    }
}

TEST_F(Devprov, AKeyBlobStaysInsideTheArea)
{
    reader_.write_table(kSmallId);
    const std::string fits(2 * 0x0FFC, 'e');
    EXPECT_EQ(devprov({"-set-moa"}, fits).status, 0);
    EXPECT_EQ(devprov({"-get-moa"}).out.size(), 0x0FFCu);
    EXPECT_EQ(devprov({"-set-moa"}, fits + "ee").status, 255);
    EXPECT_EQ(id(0x3000, 4), std::string(4, '\0'));

    // A stored size past the area is not believed.
    std::string area = reader_.area("Id Data", 0x3004);
    area.replace(0x3000, 4, "\xfd\x0f\x00\x00", 4);
    reader_.put("Id Data", area);
    const ProcessResult get = devprov({"-get-moa"});
    EXPECT_EQ(get.status, 255);
    EXPECT_EQ(get.out, "");
}

TEST_F(Devprov, AnAreaTooSmallForAFieldIsNeverWrittenPast)
{
    reader_.write_table("Id Data:0x00400000:0x00001000\n");
    EXPECT_EQ(devprov({"-dump", "factoryid"}).status, 255);
    EXPECT_EQ(devprov({"-set-moa"}, "0a").status, 255);
    EXPECT_EQ(devprov({"-dump", "psn"}).status, 0);
}

TEST_F(Devprov, StartUpFailuresEndAtOnceWithNoFlushAndCloseTheDevice)
{
    const std::string table = reader_.path() + "/sys/module/rawdatatable/parameters/rawdata_param";
    const struct {
        const char* why;
        std::string table;  // empty: no table at all
        std::string fault;
    } cases[] = {
        {"no table", "", ""},
        {"no Id line", "Waveform Data:0x00100000:0x00200000\n", ""},
        {"a zero size", "Id Data:0x00400000:0\n", ""},
        {"a zero offset", "Id Data:0:0x1000\n", ""},
        {"no colon for the size", "Id Data:0x00400000\n", ""},
        {"an offset off a page", "Id Data:0x00400800:0x1000\n", ""},
        {"an area past the device's end", "Id Data:0x00FFF000:0x00020000\n", ""},
        {"no device", kSmallId, "open"},
        {"no mapping", kSmallId, "mmap"},
    };
    for (const auto& c : cases) {
        if (c.table.empty())
            std::filesystem::remove(table);
        else
            reader_.write_table(c.table);
        if (!c.fault.empty())
            reader_.fail("mmcblk2:" + c.fault, "EIO", "always");
        reader_.clear_journal();
        const ProcessResult result = devprov({"-offset"});
        EXPECT_EQ(result.status, 255) << c.why;
        EXPECT_EQ(result.out, "") << c.why;
        EXPECT_TRUE(reader_.requests("fsync").empty()) << c.why;
        // Whatever opened is closed again, unflushed.
        std::size_t opened = 0;
        for (const JsonLine& open : reader_.requests("open"))
            opened += open.number("result") >= 0;
        EXPECT_EQ(reader_.requests("close").size(), opened) << c.why;
        reader_.vreader({"fail", reader_.path(), "--clear"});
    }
}

TEST_F(Devprov, AWriteTheFlushLosesIsAFailure)
{
    reader_.fail("mmcblk2:fsync", "EIO", "always");
    EXPECT_EQ(devprov({"-set-moa"}, "0a1b").status, 255);
    EXPECT_EQ(devprov({"-offset"}).status, 0) << "nothing to commit";
}

}  // namespace

namespace {

// The identity steps that ask devices: the Wi-Fi interface and the modem.
class DevprovDevices : public Devprov {
protected:
    void set(const std::string& key, const std::string& value) const
    {
        ASSERT_EQ(reader_.vreader({"set", reader_.path(), key, value}).status, 0) << key;
    }
};

TEST_F(DevprovDevices, CheckDigitsOfTheSerialNumber)
{
    const struct {
        const char* psn;
        const char* stored;
        const char* digits;
    } cases[] = {
        {"00000000000", "00000000000", "12"},
        {"12345678901", "12345678901", "82"},
        {"ABCDEFGHJKL", "ABCDEFGHJKL", "80"},
        {"abcdefghjkl", "ABCDEFGHJKL", "80"},  // stored as the normalised line has it
        {"QK1NB405174", "QK1NB405174", "49"},
    };
    for (const auto& c : cases) {
        set("modem.psn", c.psn);
        EXPECT_EQ(devprov({"-psn", "/dev/ttyUSB0"}).status, 0) << c.psn;
        EXPECT_EQ(id(0x210, 13), std::string(c.stored) + c.digits) << c.psn;
    }
    set("modem.meid", "a100004a7c2e91");
    EXPECT_EQ(devprov({"-meid", "/dev/ttyUSB0"}).status, 0);
    EXPECT_EQ(id(0x200, 14), "A100004A7C2E91");
    // A shorter answer leaves the rest of the field zeroed.
    set("modem.meid", "a100004a7c2");
    EXPECT_EQ(devprov({"-meid", "/dev/ttyUSB0"}).status, 0);
    EXPECT_EQ(id(0x200, 14), std::string("A100004A7C2\0\0\0", 14));
}

TEST_F(DevprovDevices, ModemsThatAnswerOtherwise)
{
    const std::string erased(11, '\xff'), zeros(11, '\0');
    const struct {
        const char* why;
        std::vector<std::pair<std::string, std::string>> settings;
        int status;
        std::string psn;  // the 11 bytes stored, then the check digits when written
        std::size_t commands = 2;  // sent to the modem: each handshake and the question
    } cases[] = {
        {"echo and blank lines, byte by byte",
         {{"modem.echo", "on"}, {"modem.blank_lines", "on"}, {"modem.delivery", "bytes"}},
         0, "QK1NB40517449"},
        {"OK without the data line", {{"modem.psn_answer", "no_data"}}, 0, zeros + "12"},
        {"a line that only starts with OK", {{"modem.psn_answer", "okay"}}, 0, "QK1NB40517449"},
        {"ERROR", {{"modem.psn_answer", "error"}}, 255, zeros},
        {"+CME ERROR: 10 is no error, and then silence", {{"modem.psn_answer", "cme_error"}}, 255, zeros},
        {"silence", {{"modem.psn_answer", "silent"}}, 255, zeros},
        {"three failed handshakes", {{"modem.handshake_errors", "3"}}, 0, "QK1NB40517449", 5},
        {"a handshake that never comes", {{"modem.handshake_errors", "always"}}, 255, erased, 10},
        {"unsolicited lines between the answers", {{"modem.unsolicited", "+CREG: 1"}}, 0, "QK1NB40517449"},
        // Lines keep coming, none of them an answer: the exchange has its time.
        {"unsolicited lines and no answer", {{"modem.unsolicited", "+CREG: 1"}, {"modem.psn_answer", "silent"}}, 255,
         zeros},
    };
    for (const auto& c : cases) {
        reader_.vreader({"init", reader_.path(), "--force", "--emmc-size", "16M"});
        for (const auto& [key, value] : c.settings)
            set(key, value);
        EXPECT_EQ(devprov({"-psn", "/dev/ttyUSB0"}).status, c.status) << c.why;
        EXPECT_EQ(id(0x210, c.psn.size()), c.psn) << c.why;
        EXPECT_EQ(reader_.requests("modem_command").size(), c.commands) << c.why;
        // Each byte of an answer is awaited for 500 ms, and only a byte
        // that came is read: a read of a silent port would wait for ever.
        for (const JsonLine& wait : reader_.requests("poll"))
            EXPECT_EQ(wait.number("timeout"), 500) << c.why;
        for (const JsonLine& read : reader_.requests("read"))
            EXPECT_GE(read.number("result"), 0) << c.why;
    }
    // The last case's exchange had its ten seconds: a line every 100 ms.
    EXPECT_EQ(reader_.requests("modem_unsolicited").size(), 100u);
    EXPECT_EQ(reader_.requests("poll").size(), 100u);
    reader_.fail("ttyUSB0:read", "EIO");
    EXPECT_EQ(devprov({"-meid", "/dev/ttyUSB0"}).status, 255);
    EXPECT_EQ(devprov({"-meid", "/dev/ttyUSB9"}).status, 255);
    EXPECT_EQ(id(0x200, 14), std::string(14, '\xff'));

    // Only a terminal is taken for the modem's port: nothing is written to
    // the eMMC or to a file named in its place.
    const std::string file = reader_.temp_file("not-a-port");
    write_file(file, "data");
    reader_.clear_journal();
    for (const std::string& port : {std::string("/dev/mmcblk2"), file}) {
        EXPECT_EQ(devprov({"-psn", port}).status, 255) << port;
        EXPECT_EQ(devprov({"-meid", port}).status, 255) << port;
    }
    EXPECT_EQ(read_file(file), "data");
    EXPECT_TRUE(reader_.requests("write").empty());

    // A command written short fails its exchange at once: no answer is
    // awaited for a command the modem never had whole.
    reader_.fail("ttyUSB0:write", "short");
    EXPECT_EQ(devprov({"-psn", "/dev/ttyUSB0"}).status, 255);
    EXPECT_TRUE(reader_.requests("poll").empty());
}

TEST_F(DevprovDevices, TheWifiAddressWaitsForTheInterface)
{
    const std::string mac = "\x06\x3f\xa2\x91\x5c\xe7";
    const struct {
        const char* why;
        std::string setting;  // appears_after, or none
        int status;
        std::string field;
    } cases[] = {
        {"present", "0", 0, mac},
        {"a driver still loading", "4", 0, mac},
        {"too late", "11", 255, std::string(6, '\xff')},
        {"missing", "none", 255, std::string(6, '\xff')},
    };
    for (const auto& c : cases) {
        reader_.vreader({"init", reader_.path(), "--force", "--emmc-size", "16M"});
        if (c.setting == "none")
            set("net.wlan0", "none");
        else
            set("net.wlan0.appears_after", c.setting);
        reader_.clear_journal();
        EXPECT_EQ(devprov({"-wifi", "wlan0"}).status, c.status) << c.why;
        EXPECT_EQ(id(0x100, 6), c.field) << c.why;
        if (c.status != 0) {
            EXPECT_EQ(reader_.requests("SIOCGIFHWADDR").size(), 10u) << c.why;
        }
        for (const JsonLine& pause : reader_.requests("poll"))
            EXPECT_EQ(pause.number("timeout"), 1000) << c.why;  // a second before each attempt
    }
}

}  // namespace
