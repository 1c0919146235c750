// morvane "writewf" and "verifywf" against a virtual reader: what reaches the
// eMMC's waveform area, how the raw-data table is read, and every message.
#include "tests/support/virtual_reader.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

const std::string kOthers = "Id Data:0x00400000:0x00020000\nBoot Env:0x00600000:0x00020000\n";
// A small waveform area keeps the files of these tests small.
const std::string kSmallArea = "Waveform Data:0x00100000:0x00001000\n";

class MorvaneWaveform : public ::testing::Test {
protected:
    ProcessResult morvane(const std::vector<std::string>& arguments) const { return reader_.run("morvane", arguments); }

    std::string file(const std::string& name, const std::string& bytes) const
    {
        const std::string path = reader_.temp_file(name);
        write_file(path, bytes);
        return path;
    }

    static std::string image(size_t size)
    {
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<char>(i * 7 + 3);
        return bytes;
    }

    void expect(const ProcessResult& result, const std::string& out, int status, const std::string& why = {}) const
    {
        EXPECT_EQ(result.out, out) << why;
        EXPECT_EQ(result.status, status) << why;
    }

    VirtualReader reader_{{"--emmc-size", "32M"}};
};

TEST_F(MorvaneWaveform, WrittenThenVerified)
{
    const std::string waveform = image(300000);
    const std::string path = file("panel.wbf", waveform);
    expect(morvane({"writewf", path}), "", 0);
    EXPECT_EQ(reader_.requests("MXCFB_WRITE_WAVEFORM").at(0).number("size"), 300000);
    EXPECT_EQ(reader_.area("waveform", waveform.size()), waveform);
    expect(morvane({"verifywf", path}), "Data is match.\n", 0);
    // verifywf only reads the eMMC.
    for (const JsonLine& open : reader_.requests("open"))
        if (open.text("path").find("mmcblk") != std::string::npos) {
            EXPECT_EQ(open.number("flags") & O_ACCMODE, O_RDONLY);
        }
    EXPECT_TRUE(reader_.requests("write").empty());
}

TEST_F(MorvaneWaveform, VerifyComparesTheFilesLengthOnly)
{
    reader_.write_table(kSmallArea + kOthers);
    const std::string stored = image(0x1000);
    reader_.put("waveform", stored);
    std::string last_differs = stored;
    last_differs.back() ^= 1;
    const struct {
        const char* why;
        std::string bytes;
        std::string out;
        int status;
    } cases[] = {
        {"shorter and equal", stored.substr(0, 100), "Data is match.\n", 0},
        {"the whole area", stored, "Data is match.\n", 0},
        {"one byte longer", stored + "x", "Waveform file is too large!\n", 22},
        {"last byte differs", last_differs, "Data is not same.\n", 22},
        {"first byte differs", "\xFF" + stored.substr(1, 10), "Data is not same.\n", 22},
        {"empty", "", "Fail to map waveform file !\n", 22},
    };
    for (const auto& c : cases)
        expect(morvane({"verifywf", file("candidate.wbf", c.bytes)}), c.out, c.status, c.why);
    expect(morvane({"verifywf", reader_.temp_file("absent.wbf")}), "Waveform file open failed !\n", 2);
}

TEST_F(MorvaneWaveform, TableRulesForTheWaveformLine)
{
    const std::string path = file("panel.wbf", "W");
    const struct {
        const char* why;
        std::string table;
        std::string out;
        int status;
    } cases[] = {
        {"no waveform line", kOthers, "NO waveform area.\n", 22},
        {"empty table", "", "NO waveform area.\n", 22},
        {"colon right after the key", "Waveform:0x00100000:0x00001000\n" + kOthers, "NO size for waveform.\n", 22},
        {"no colon", "Waveform Data 0x00100000\n" + kOthers, "NO address for waveform.\n", 22},
        {"zero offset", "Waveform Data:0x0:0x1000\n" + kOthers, "NO address for waveform.\n", 22},
        {"zero size", "Waveform Data:0x00100000:0x0\n" + kOthers, "NO size for waveform.\n", 22},
        {"only the first line counts", "Waveform Data:0x00100000\n" + kSmallArea, "NO size for waveform.\n", 22},
        {"automatic base", "Waveform Data:1048576:010000\n" + kOthers, "Data is not same.\n", 22},
        {"unaligned area", "Waveform Data:0x00100001:0x1000\n", "Fail to map eMMC block file !\n", 22},
        // Off the 32 MiB device, or running past its end: a mapping that
        // would fault where it is touched past the end.
        {"area past the end", "Waveform Data:0x7FFF0000:0x1000\n", "Fail to map eMMC block file !\n", ENXIO},
        {"area over the end", "Waveform Data:0x01FFF000:0x20000\n", "Fail to map eMMC block file !\n", ENXIO},
    };
    for (const auto& c : cases) {
        reader_.write_table(c.table);
        expect(morvane({"verifywf", path}), c.out, c.status, c.why);
    }
    ASSERT_EQ(::unlink((reader_.path() + "/sys/module/rawdatatable/parameters/rawdata_param").c_str()), 0);
    expect(morvane({"verifywf", path}), "Fail to read rawdata_param.\n", 2);
}

// A sysfs attribute shows one page: the table's first 4095 bytes are all the
// kernel publishes, and the launcher, the display driver and morvane alike go
// by them.
TEST_F(MorvaneWaveform, ATableLongerThanAPageIsCutForEveryone)
{
    const std::string path = file("panel.wbf", image(0x1000));
    const struct {
        const char* why;
        std::size_t padding;  // a line of that many bytes before the waveform line
        bool published;
    } cases[] = {
        {"the waveform line ends on the page's last byte", 4095 - kSmallArea.size() - 1, true},
        {"the waveform line begins after it", 4095, false},
    };
    for (const auto& c : cases) {
        reader_.write_table(std::string(c.padding, 'x') + "\n" + kSmallArea + kOthers);
        const ProcessResult table = reader_.vreader({"table", reader_.path()});
        EXPECT_EQ(table.out.find("Waveform Data ") != std::string::npos, c.published) << c.why << "\n" << table.out;
        EXPECT_NE(table.out.find("\ncut: "), std::string::npos) << c.why;
        if (c.published) {
            expect(morvane({"writewf", path}), "", 0, c.why);
            expect(morvane({"verifywf", path}), "Data is match.\n", 0, c.why);
        } else {
            expect(morvane({"writewf", path}), "Fail to write waveform! 19\n", 19, c.why);
            expect(morvane({"verifywf", path}), "NO waveform area.\n", 22, c.why);
            EXPECT_EQ(reader_.vreader({"dump", reader_.path(), "waveform"}).status, 125) << c.why;
        }
    }
}

TEST_F(MorvaneWaveform, EmmcNamesAndTheirOrder)
{
    const std::string path = file("panel.wbf", "W");
    VirtualReader dev_only({"--emmc-size", "32M", "--emmc-nodes", "dev"});
    dev_only.run("morvane", {"verifywf", path});
    std::vector<std::string> tried;
    for (const JsonLine& open : dev_only.requests("open"))
        if (open.text("path").find("mmcblk") != std::string::npos)
            tried.push_back(open.text("path") + (open.number("result") < 0 ? " (failed)" : ""));
    EXPECT_EQ(tried, (std::vector<std::string>{"/dev/block/mmcblk2 (failed)", "/dev/mmcblk2"}));

    VirtualReader unit_zero({"--emmc-size", "32M", "--emmc-unit", "0"});
    expect(unit_zero.run("morvane", {"verifywf", path}), "NO eMMC block device file.\n", 2);
}

TEST_F(MorvaneWaveform, WriteFailures)
{
    const std::string path = file("panel.wbf", image(5000));
    reader_.fail("MXCFB_WRITE_WAVEFORM", "EIO");
    expect(morvane({"writewf", path}), "Fail to write waveform! 5\n", 5);
    // The driver refuses an image larger than the area.
    reader_.write_table(kSmallArea + kOthers);
    expect(morvane({"writewf", path}), "Fail to write waveform! 22\n", 22);

    // A file that cannot be read completely sends nothing to the driver.
    reader_.clear_journal();
    expect(morvane({"writewf", reader_.temp_file("")}), "Fail to read waveform !\n", 21);
    expect(morvane({"writewf", reader_.temp_file("absent.wbf")}), "Waveform file open failed !\n", 2);
    reader_.fail("fstat", "EOVERFLOW");
    expect(morvane({"writewf", path}), "Fail to get Waveform file stat !\n", 75);
    reader_.fail("fstat", "EIO");
    expect(morvane({"verifywf", path}), "Fail to get Waveform file stat !\n", 5);
    EXPECT_TRUE(reader_.requests("MXCFB_WRITE_WAVEFORM").empty());

    reader_.fail("mmcblk2:mmap", "ENOMEM");
    reader_.put("waveform", image(100));
    expect(morvane({"verifywf", file("short.wbf", image(100))}), "Fail to map eMMC block file !\n", 12);
    expect(morvane({"writewf", "a", "b"}), "Invalid args\n", 22);
    expect(morvane({"writewf", ""}), "No waveform file path !\n", 22);
    expect(morvane({"verifywf", ""}), "No waveform file path !\n", 22);
}

TEST_F(MorvaneWaveform, AFifoNeitherBlocksNorPasses)
{
    const std::string fifo = reader_.temp_file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    expect(morvane({"verifywf", fifo}), "Fail to map waveform file !\n", 22);
    expect(morvane({"writewf", fifo}), "Fail to write waveform! 22\n", 22);
}

TEST_F(MorvaneWaveform, AnImageTooLargeToHoldIsOutOfMemory)
{
    if (!VirtualReader::memory_limits_work())
        GTEST_SKIP() << "address space limits need a native build without sanitizers";
    const std::string path = reader_.temp_file("huge.wbf");
    write_file(path, "");
    ASSERT_EQ(::truncate(path.c_str(), off_t{3} << 30), 0);  // sparse: costs no disk
    expect(reader_.run_limited("morvane", {"writewf", path}, 512 * 1024), "Fail to alloc memory for waveform !\n", 12);
}

}  // namespace

// The reader cannot map or allocate 3 GiB or more in its 32-bit address
// space: a file or an area that large is refused before trying, in every
// build.
TEST(MorvaneWaveformLarge, WhatTheReaderCannotMapIsRefusedInEveryBuild)
{
    const VirtualReader reader({"--emmc-size", "8G"});
    reader.write_table("Waveform Data:0x00100000:0xE0000000\n" + kOthers);  // 3.5 GiB
    const std::string huge = reader.temp_file("huge.wbf");
    write_file(huge, "");
    if (::truncate(huge.c_str(), off_t{3} << 30) != 0)
        GTEST_SKIP() << "this file system holds no sparse 3 GiB file";
    ProcessResult result = reader.run("morvane", {"verifywf", huge});
    EXPECT_EQ(result.out, "Fail to map waveform file !\n");
    EXPECT_EQ(result.status, ENOMEM);
    // Past 4 GiB a 32-bit size would wrap round to a small one.
    for (const off_t size : {off_t{3} << 30, (off_t{4} << 30) + 2}) {
        ASSERT_EQ(::truncate(huge.c_str(), size), 0);
        result = reader.run("morvane", {"writewf", huge});
        EXPECT_EQ(result.out, "Fail to alloc memory for waveform !\n") << size;
        EXPECT_EQ(result.status, ENOMEM);
    }
    EXPECT_TRUE(reader.requests("MXCFB_WRITE_WAVEFORM").empty());
    const std::string small = reader.temp_file("small.wbf");
    write_file(small, "W");
    result = reader.run("morvane", {"verifywf", small});
    EXPECT_EQ(result.out, "Fail to map eMMC block file !\n");
    EXPECT_EQ(result.status, ENOMEM);
}
