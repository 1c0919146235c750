// boskel run as a process against a virtual reader: the mode it selects, the
// areas it reads from the table, the device it opens, and every failure.
#include "tests/support/virtual_reader.hpp"

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

const std::string kNormal = "Normal Boot Env:0x00620000:0x00020000\n";
const std::string kRecovery = "Recovery Boot Env:0x00640000:0x00020000\n";
const std::string kActive = "Boot Env:0x00600000:0x00020000\n";

class Boskel : public ::testing::Test {
protected:
    ProcessResult boskel(const std::vector<std::string>& arguments) const { return reader_.run("boskel", arguments); }

    std::vector<std::string> opened_paths() const
    {
        std::vector<std::string> paths;
        for (const JsonLine& open : reader_.requests("open"))
            paths.push_back(open.text("path") + (open.number("result") < 0 ? " failed" : ""));
        return paths;
    }

    VirtualReader reader_{{"--emmc-size", "32M"}};
};

TEST_F(Boskel, UsageAndModeSelectionByPrefix)
{
    ProcessResult result = boskel({});
    EXPECT_EQ(result.out, "boskel <mode>\n  <mode>\n    normal   : next boot Android\n    recovery : next boot Recovery\n");
    EXPECT_EQ(result.status, 1);
    for (const std::string word : {"default", "Normal", "norma", "boot"}) {
        result = boskel({word});
        EXPECT_EQ(result.out, "unknown mode : " + word + "\n");
        EXPECT_EQ(result.status, 1);
    }
    EXPECT_TRUE(reader_.requests("open").empty()) << "nothing opened before a mode is chosen";

    for (int run = 0; run < 2; ++run) {
        result = boskel({"recovery"});
        EXPECT_EQ(result.out, "recovery mode changed.\n");
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(reader_.state("boot_env"), "recovery");
    }
    result = boskel({"normalboot"});
    EXPECT_EQ(result.out, "normal mode changed.\n");
    EXPECT_EQ(reader_.state("boot_env"), "normal");
    EXPECT_EQ(reader_.requests("fsync").size(), 3u);
}

TEST_F(Boskel, CopiesTheSmallestSizeToTheLastMatchingLine)
{
    // Sizes 0x20000, 0x10000, 0x20000: 0x10000 bytes are copied and the
    // rest of the active area keeps its bytes.
    reader_.put("Boot Env", std::string(0x20000, 'A'));
    reader_.write_table(kActive + "Normal Boot Env:0x00620000:0x00010000\n" + kRecovery);
    ASSERT_EQ(boskel({"recovery"}).status, 0);
    const std::string active = reader_.area("Boot Env", 0x20000);
    EXPECT_EQ(active.substr(0, 0x10000), reader_.area("Recovery Boot Env", 0x10000));
    EXPECT_EQ(active.substr(0x10000), std::string(0x10000, 'A'));

    // "Boot Env2" also begins with "Boot Env", and a later line wins.
    reader_.write_table(kActive + kNormal + kRecovery + "Boot Env2:0x00700000:0x00020000\n");
    ASSERT_EQ(boskel({"recovery"}).status, 0);
    reader_.write_table(kActive + kNormal + kRecovery + "Copy:0x00700000:0x00020000\n");
    EXPECT_EQ(reader_.area("Copy", 18), std::string("bootmode=recovery\0", 18));
}

TEST_F(Boskel, TablesAndDeviceNumbersItRefuses)
{
    const struct {
        const char* why;
        std::string table;
        std::string dev_no;
    } refused[] = {
        {"offset text over 15 characters", "Boot Env:0x00000000000600000:0x00020000\n" + kNormal + kRecovery, "2\n"},
        {"no recovery line", kActive + kNormal, "2\n"},
        {"zero offset", "Boot Env:0x0:0x00020000\n" + kNormal + kRecovery, "2\n"},
        {"empty table", "", "2\n"},
        {"device number 1", kActive + kNormal + kRecovery, "1\n"},
        {"device number 3", kActive + kNormal + kRecovery, "3\n"},
    };
    for (const auto& c : refused) {
        reader_.write_table(c.table);
        reader_.write_dev_no(c.dev_no);
        const ProcessResult result = boskel({"normal"});
        EXPECT_EQ(result.out, "Cannot read raw data table\n") << c.why;
        EXPECT_EQ(result.status, 1) << c.why;
    }
    EXPECT_TRUE(reader_.requests("open").empty());
    // The table is read before the arguments are looked at.
    EXPECT_EQ(boskel({}).out, "Cannot read raw data table\n");
}

TEST_F(Boskel, DeviceNamesAreTriedInOrder)
{
    ASSERT_EQ(boskel({"normal"}).status, 0);
    EXPECT_EQ(opened_paths(), std::vector<std::string>{"/dev/mmcblk2"});

    VirtualReader block_only({"--emmc-nodes", "block", "--emmc-unit", "0"});
    ASSERT_EQ(block_only.run("boskel", {"recovery"}).status, 0);
    std::vector<std::string> paths;
    for (const JsonLine& open : block_only.requests("open"))
        paths.push_back(open.text("path"));
    EXPECT_EQ(paths, (std::vector<std::string>{"/dev/mmcblk0", "/dev/block/mmcblk0"}));
    EXPECT_EQ(block_only.state("boot_env"), "recovery");

    // The device number file names a unit this reader does not have.
    block_only.write_dev_no("2\n");
    const ProcessResult result = block_only.run("boskel", {"normal"});
    EXPECT_EQ(result.out, "cannot open : mmcblk2\n");
    EXPECT_EQ(result.status, 1);
}

TEST_F(Boskel, EveryFailureLeavesTheStatusAndMessageItNames)
{
    const std::string far = "Boot Env:0x7FFF0000:0x00020000\n";
    const struct {
        std::vector<std::string> fault;  // request, effect, count
        std::string table;
        std::string out;
        std::string boot_env;  // afterwards
    } cases[] = {
        {{"mmcblk2:open", "ENODEV", "always"}, "", "cannot open : mmcblk2\n", "normal"},
        {{"mmcblk2:lseek", "EINVAL", "1"}, "", "cannot read seek : mmcblk2 (0x00640000)\n", "normal"},
        {{}, kActive + kNormal + "Recovery Boot Env:0x7FFF0000:0x00020000\n",
         "cannot read seek : mmcblk2 (0x7fff0000)\n", "normal"},
        {{"mmcblk2:read", "short", "1"}, "", "cannot read : mmcblk2\n", "normal"},
        {{"mmcblk2:read", "EIO", "1"}, "", "cannot read : mmcblk2\n", "normal"},
        {{}, far + kNormal + kRecovery, "cannot write seek : mmcblk2 (0x7fff0000)\n", "normal"},
        {{"mmcblk2:write", "short", "1"}, "", "cannot write : mmcblk2", "neither"},
        {{"mmcblk2:write", "EIO", "1"}, "", "cannot write : mmcblk2", "normal"},
        // The write reports success but nothing reached the device: only the
        // read-back after the flush tells.
        {{"mmcblk2:write", "lost", "1"}, "", "cannot write : mmcblk2", "normal"},
        {{"mmcblk2:fsync", "EIO", "1"}, "", "cannot write : mmcblk2", "recovery"},
    };
    // A recovery environment that fills its area, so half of it is neither.
    reader_.put("Recovery Boot Env", reader_.area("Recovery Boot Env", 64) + std::string(0x20000 - 64, 'R'));
    for (const auto& c : cases) {
        const std::string why = c.fault.empty() ? c.table : c.fault[0] + " " + c.fault[1];
        if (!c.fault.empty())
            reader_.fail(c.fault[0], c.fault[1], c.fault[2]);
        reader_.write_table(c.table.empty() ? kActive + kNormal + kRecovery : c.table);
        const ProcessResult result = boskel({"recovery"});
        EXPECT_EQ(result.out, c.out) << why;
        EXPECT_EQ(result.status, 1) << why;
        reader_.write_table(kActive + kNormal + kRecovery);
        EXPECT_EQ(reader_.state("boot_env"), c.boot_env) << why;
        ASSERT_EQ(reader_.vreader({"set", reader_.path(), "boot_env", "normal"}).status, 0);
        ASSERT_EQ(reader_.vreader({"fail", reader_.path(), "--clear"}).status, 0);
    }
    // Whatever failed, the device was closed.
    size_t opened = 0;
    for (const JsonLine& open : reader_.requests("open"))
        opened += open.number("result") >= 0;
    EXPECT_EQ(reader_.requests("close").size(), opened);
}

TEST_F(Boskel, AnActiveAreaPastTheDevicesEndIsNotCutShort)
{
    // The 32 MiB device ends half way through this active environment.
    reader_.write_table("Boot Env:0x01FF0000:0x00020000\n" + kNormal + kRecovery);
    const std::string before = reader_.area("Boot Env", 0x10000);
    const ProcessResult result = boskel({"recovery"});
    EXPECT_EQ(result.out, "cannot write : mmcblk2");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(reader_.area("Boot Env", 0x10000), before);
    EXPECT_TRUE(reader_.requests("write").empty());
}

TEST_F(Boskel, AnEnvironmentTooLargeToHoldIsOutOfMemory)
{
    if (!VirtualReader::memory_limits_work())
        GTEST_SKIP() << "address space limits need a native build without sanitizers";
    reader_.write_table("Boot Env:0x00600000:0x7FFFF000\nNormal Boot Env:0x00620000:0x7FFFF000\n"
                        "Recovery Boot Env:0x00640000:0x7FFFF000\n");
    const ProcessResult result = reader_.run_limited("boskel", {"normal"}, 512 * 1024);
    EXPECT_EQ(result.out, "out of memory\n");
    EXPECT_EQ(result.status, 1);
}

}  // namespace
