// The two ways the programs read the raw-data table, on tables written the
// way the kernel module lays them out and on broken ones.
#include "rawdata/raw_table.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using rawdata::AreaStatus;

const std::string kTable =
    "Waveform Data:0x00100000:0x00200000\n"
    "Id Data:0x00400000:0x00020000\n"
    "Boot Env:0x00600000:0x00020000\n"
    "Normal Boot Env:0x00620000:0x00020000\n"
    "Recovery Boot Env:0x00640000:0x00020000\n";

rawdata::AreaLookup area(const std::string& table, const char* key)
{
    return rawdata::find_area_in(table.data(), table.size(), key);
}

TEST(LineReader, CutsLinesAsFgetsDoes)
{
    const std::string text = "ab\n" + std::string(10, 'x') + "\nlast";
    rawdata::LineReader lines(text.data(), text.size());
    char line[8];
    std::vector<std::string> got;
    while (lines.next(line, sizeof line))
        got.emplace_back(line);
    EXPECT_EQ(got, (std::vector<std::string>{"ab\n", "xxxxxxx", "xxx\n", "last"}));
}

TEST(AreaLookup, KeyPrefixAndColonRules)
{
    const struct {
        const char* why;
        std::string table;
        const char* key;
        AreaStatus status;
        std::uint32_t offset, size;
    } cases[] = {
        {"waveform", kTable, "Waveform", AreaStatus::Found, 0x100000, 0x200000},
        {"identity", kTable, "Id", AreaStatus::Found, 0x400000, 0x20000},
        {"automatic base", "Id Data:4096:010\n", "Id", AreaStatus::Found, 4096, 8},
        {"no such line", "Boot Env:0x1000:0x1000\n", "Waveform", AreaStatus::NoLine, 0, 0},
        {"empty table", "", "Waveform", AreaStatus::NoLine, 0, 0},
        {"first match only", "Waveform A\nWaveform B:0x1000:0x2000\n", "Waveform", AreaStatus::NoOffset, 0, 0},
        {"no size colon", "Waveform Data:0x1000\n", "Waveform", AreaStatus::NoSize, 0, 0},
        // The colon search starts one past the key, so a colon right after it
        // is missed and the size is read as the offset.
        {"colon after key", "Waveform:0x1000:0x2000\n", "Waveform", AreaStatus::NoSize, 0, 0},
        {"colon after short key", "Id:0x1000:0x2000:0x3\n", "Id", AreaStatus::Found, 0x2000, 0x3},
        {"key alone", "Id", "Id", AreaStatus::NoOffset, 0, 0},
        {"colon one past the key", "Idx:0x1000:0x2000\n", "Id", AreaStatus::Found, 0x1000, 0x2000},
        {"empty offset", "Id Data::0x2000\n", "Id", AreaStatus::Found, 0, 0x2000},
        // Lines are read 79 bytes at a time: a size colon as the 80th byte
        // is in the line's next piece.
        {"size colon in the next piece", "Id Data:0x1000" + std::string(65, ' ') + ":0x10\n", "Id", AreaStatus::NoSize,
         0, 0},
        {"zeros", "Waveform Data:0x0:zz\n", "Waveform", AreaStatus::Found, 0, 0},
        {"32-bit saturation", "Waveform Data:0x100000000:0x10\n", "Waveform", AreaStatus::Found, 0xFFFFFFFF, 0x10},
    };
    for (const auto& c : cases) {
        const auto found = area(c.table, c.key);
        EXPECT_EQ(found.status, c.status) << c.why;
        if (found.status == AreaStatus::Found) {
            EXPECT_EQ(found.offset, c.offset) << c.why;
            EXPECT_EQ(found.size, c.size) << c.why;
        }
    }
}

TEST(BootAreas, ReadsTheThreeEnvironmentsAndTheSmallestSize)
{
    rawdata::BootAreas areas;
    ASSERT_TRUE(rawdata::find_boot_areas_in(kTable.data(), kTable.size(), areas));
    EXPECT_EQ(areas.offset[0], 0x600000u);
    EXPECT_EQ(areas.offset[1], 0x620000u);
    EXPECT_EQ(areas.offset[2], 0x640000u);
    EXPECT_EQ(areas.env_size, 0x20000);

    const std::string sizes = "Boot Env:0x1000:0x20000\nNormal Boot Env:0x30000:0x10000\n"
                              "Recovery Boot Env:0x50000:0x20000\n";
    ASSERT_TRUE(rawdata::find_boot_areas_in(sizes.data(), sizes.size(), areas));
    EXPECT_EQ(areas.env_size, 0x10000);
}

TEST(BootAreas, LineRules)
{
    const std::string normal = "Normal Boot Env:0x30000:0x1000\n";
    const std::string recovery = "Recovery Boot Env:0x50000:0x1000\n";
    const struct {
        const char* why;
        std::string table;
        bool usable;
        std::uint32_t active_offset;
    } cases[] = {
        {"later line overwrites", "Boot Env:0x1000:0x1000\nBoot Env2:0x9000:0x1000\n" + normal + recovery, true,
         0x9000},
        {"15-character offset", "Boot Env:0x0000000000001:0x1000\n" + normal + recovery, true, 1},
        {"16-character offset", "Boot Env:0x1000:0x1000\nBoot Env:0x00000000002000:0x1000\n" + normal + recovery, true,
         0x1000},
        // Lines are read 127 bytes at a time: this one's size is cut after
        // its ":0".
        {"size in the next piece",
         "Boot Env:0x1000:0x1000\nBoot Env" + std::string(110, 'x') + ":0x2000:0x1000\n" + normal + recovery, true,
         0x1000},
        {"blank ends the offset", "Boot Env:0x1000:0x1000\nBoot Env:0x2000 :0x1000\n" + normal + recovery, true,
         0x1000},
        {"no :0x at all", "Boot Env:4096:4096\n" + normal + recovery, false, 0},
        {"zero size", "Boot Env:0x1000:0x0\n" + normal + recovery, false, 0},
        {"missing recovery", "Boot Env:0x1000:0x1000\n" + normal, false, 0},
        {"size of 2 GiB", "Boot Env:0x1000:0x80000000\n" + normal + recovery, false, 0},
    };
    for (const auto& c : cases) {
        rawdata::BootAreas areas;
        EXPECT_EQ(rawdata::find_boot_areas_in(c.table.data(), c.table.size(), areas), c.usable) << c.why;
        if (c.usable) {
            EXPECT_EQ(areas.offset[0], c.active_offset) << c.why;
        }
    }
}

TEST(BootAreas, DeviceNumberIsZeroOrTwo)
{
    const struct {
        std::string text;
        bool usable;
        int dev_no;
    } cases[] = {{"2\n", true, 2}, {"0\n", true, 0}, {"1\n", false, 0}, {"02", true, 2},
                 {"", false, 0},   {"x\n", true, 0}, {"4294967298\n", false, 0}};
    for (const auto& c : cases) {
        int dev_no = -1;
        EXPECT_EQ(rawdata::read_dev_no_in(c.text.data(), c.text.size(), dev_no), c.usable) << c.text;
        if (c.usable) {
            EXPECT_EQ(dev_no, c.dev_no) << c.text;
        }
    }
}

}  // namespace
