// morvane's pictures on a virtual reader: image files, gray levels and
// patterns, rotation, and the standby screen, as the panel shows them.
#include "display/graytable.hpp"
#include "tests/display/bitmap_file.hpp"
#include "tests/display/morvane_fixture.hpp"

#include <sys/stat.h>

#include <gtest/gtest.h>

using namespace morvane_test;
using display_test::make_bitmap;
using display_test::put_le32;

namespace {

TEST_F(Morvane, FileWithOnlyThePathUsesAmbientTemperatureOriginAndNoFlags)
{
    const std::string path = write_image("small.bmp", make_bitmap(40, 30, [](int, int) { return uint16_t{0}; }));
    const ProcessResult result = morvane({"file", "GC16", "FULL", path});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    const JsonLine update = only_update();
    expect_region(update, 0, 0, 40, 30);
    EXPECT_EQ(update.number("waveform_mode"), 2);
    EXPECT_EQ(update.number("update_mode"), 1);
    EXPECT_EQ(update.number("update_marker"), 1);
    EXPECT_EQ(update.number("temp"), 0x1000);
    EXPECT_EQ(update.number("flags"), 0);
    EXPECT_EQ(update.number("alt_buffer_data.virt_addr"), 0);
    EXPECT_EQ(reader_.requests("MXCFB_SET_UPDATE_SCHEME").at(0).number("scheme"), 2);
    // Only the bitmap's own pixels changed on the panel.
    EXPECT_EQ(reader_.panel_level(39, 29), kBlack);
    EXPECT_EQ(reader_.panel_level(40, 29), kWhite);
    EXPECT_EQ(reader_.panel_level(39, 30), kWhite);
}

TEST_F(Morvane, MissingFileGivesAFullScreenBlackUpdate)
{
    const ProcessResult result = morvane({"file", "DU", "PART", reader_.temp_file("absent.bmp")});
    EXPECT_EQ(result.status, 0);
    const JsonLine update = only_update();
    expect_region(update, 0, 0, 600, 800);
    EXPECT_EQ(update.number("waveform_mode"), 1);
    EXPECT_EQ(update.number("update_mode"), 0);
    EXPECT_EQ(reader_.panel_level(0, 0), kBlack);
    EXPECT_EQ(reader_.panel_level(599, 799), kBlack);
}

TEST_F(Morvane, FilePositionConversionAndTemperatureAreDecodedInOrder)
{
    const std::string path =
        write_image("full.bmp", make_bitmap(600, 800, [](int x, int) { return epdc::graytable[x < 300 ? 15 : 3]; }));
    const ProcessResult result = morvane({"file", "A2", "FULL", path, "31", "100", "0", "MOIN"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "left pos = 100\ntop pos = 0\nmonochrome & inversion\nUse pseudo temperature 31\n");
    const JsonLine update = only_update();
    expect_region(update, 100, 0, 500, 800);
    EXPECT_EQ(update.number("waveform_mode"), 4);
    EXPECT_EQ(update.number("temp"), 31);
    EXPECT_EQ(update.number("flags"), 3);
    // Columns 0..99 were not refreshed; the image's left columns start at 100.
    EXPECT_EQ(reader_.panel(99, 400), 255);
    EXPECT_NE(reader_.panel(100, 400), reader_.panel(400, 400));
}

TEST_F(Morvane, FileWordsStopWhereTheLineEnds)
{
    const std::string path = write_image("small.bmp", make_bitmap(40, 30, [](int, int) { return uint16_t{0}; }));
    const struct {
        std::vector<std::string> after_path;
        const char* out;
        int left, top;
    } cases[] = {
        {{"25"}, "Use pseudo temperature 25\n", 0, 0},
        {{"25", "5"}, "left pos = 5\nUse pseudo temperature 25\n", 5, 0},
        {{"25", "5", "7"}, "left pos = 5\ntop pos = 7\nUse pseudo temperature 25\n", 5, 7},
        {{"AMB", "5", "0", "NONE"}, "left pos = 5\ntop pos = 0\n", 5, 0},  // an unknown conversion: no flags
    };
    for (const auto& c : cases) {
        std::vector<std::string> words{"file", "GC16", "FULL", path};
        words.insert(words.end(), c.after_path.begin(), c.after_path.end());
        reader_.clear_journal();
        const ProcessResult result = morvane(words);
        EXPECT_EQ(result.out, c.out);
        const JsonLine update = only_update();
        expect_region(update, c.left, c.top, 40, 30);
        EXPECT_EQ(update.number("flags"), 0) << c.out;
    }
}

TEST_F(Morvane, TallerBitmapShowsItsBottomRowsAndTheRegionIsClipped)
{
    // 1000 rows: the top 200 image rows are white, the rest black.
    const std::string path =
        write_image("tall.bmp", make_bitmap(20, 1000, [](int, int y) { return epdc::graytable[y < 200 ? 0 : 15]; }));
    EXPECT_EQ(morvane({"file", "GC16", "FULL", path}).status, 0);
    expect_region(only_update(), 0, 0, 20, 800);
    EXPECT_EQ(reader_.panel_level(10, 0), kBlack);
    EXPECT_EQ(reader_.panel_level(10, 799), kBlack);
}

TEST_F(Morvane, HostileBitmapHeaderReadsNothingPastTheFile)
{
    std::string bytes = make_bitmap(4, 4, [](int, int) { return uint16_t{0}; });
    put_le32(bytes, 18, 0x7FFFFFFF);
    put_le32(bytes, 22, 0x7FFFFFFF);
    const ProcessResult result = morvane({"file", "GC16", "FULL", write_image("hostile.bmp", bytes)});
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    expect_region(only_update(), 0, 0, 600, 800);

    // A negative height draws nothing; the driver refuses the region it gives.
    put_le32(bytes, 22, static_cast<uint32_t>(-4));
    reader_.clear_journal();
    const ProcessResult negative = morvane({"file", "GC16", "FULL", write_image("negative.bmp", bytes)});
    EXPECT_EQ(negative.out, "fb ioctl(MXCFB_SEND_UPDATE) error (22)\nupdata panel failed. errno=22\n");
    EXPECT_EQ(negative.status, 255);
}

TEST_F(Morvane, SixteenGrayStripesReachThePanelThroughTheVirtualStride)
{
    const ProcessResult result = morvane({"patt", "GC16", "FULL", "16", "AMB"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "pattern 16\nUse pseudo temperature 0\n");
    const JsonLine update = only_update();
    expect_region(update, 0, 0, 600, 800);
    EXPECT_EQ(update.number("temp"), 0);
    for (int y : {0, 400, 799}) {
        EXPECT_EQ(reader_.panel_level(0, y), 0);
        EXPECT_EQ(reader_.panel_level(37, y), 0);
        EXPECT_EQ(reader_.panel_level(38, y), 1);
        EXPECT_EQ(reader_.panel_level(569, y), 14);
        EXPECT_EQ(reader_.panel_level(570, y), 15);
        EXPECT_EQ(reader_.panel_level(599, y), 15);
    }
}

TEST_F(Morvane, VerticalPatternMakesBandsDownTheScreen)
{
    const ProcessResult result = morvane({"vpatt", "GC16", "FULL", "16", "25"});
    EXPECT_EQ(result.out, "pattern 16\nUse pseudo temperature 25\n");
    EXPECT_EQ(only_update().number("temp"), 25);
    EXPECT_EQ(reader_.panel_level(599, 49), 0);
    EXPECT_EQ(reader_.panel_level(0, 50), 1);
    EXPECT_EQ(reader_.panel_level(300, 799), 15);
}

TEST_F(Morvane, GrayRectangleWithEveryArgument)
{
    const ProcessResult result =
        morvane({"gray", "GC16", "PART", "15", "AMB", "10", "20", "30", "40", "SP1_1-2", "surplus"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "gray level = 15\nleft pos = 10\ntop pos = 20\nwidth = 30\nheight = 40\nsp1_1 & sp1_2\n");
    const JsonLine update = only_update();
    expect_region(update, 10, 20, 30, 40);
    EXPECT_EQ(update.number("flags"), 0x30000);
    EXPECT_EQ(update.number("temp"), 0x1000);
    EXPECT_EQ(update.number("update_mode"), 0);
    EXPECT_EQ(reader_.panel_level(10, 20), kBlack);
    EXPECT_EQ(reader_.panel_level(39, 59), kBlack);
    EXPECT_EQ(reader_.panel_level(40, 59), kWhite);
    EXPECT_EQ(reader_.panel_level(9, 20), kWhite);
}

TEST_F(Morvane, GrayWordsStopWhereTheLineEnds)
{
    const struct {
        std::vector<std::string> after_level;
        const char* out;
        int left, top, width, height, flags;
    } cases[] = {
        {{}, "", 0, 0, 600, 800, 0},
        {{"25"}, "Use pseudo temperature 25\n", 0, 0, 600, 800, 0},
        {{"25", "0"}, "left pos = 0\nUse pseudo temperature 25\n", 0, 0, 600, 800, 0},
        {{"25", "0", "0"}, "left pos = 0\ntop pos = 0\nUse pseudo temperature 25\n", 0, 0, 600, 800, 0},
        {{"AMB", "10", "0", "30"}, "left pos = 10\ntop pos = 0\nwidth = 30\n", 10, 0, 30, 800, 0},
        {{"AMB", "10", "20", "30", "40"}, "left pos = 10\ntop pos = 20\nwidth = 30\nheight = 40\n", 10, 20, 30, 40, 0},
        {{"AMB", "1", "2", "3", "4", "MONO"}, "left pos = 1\ntop pos = 2\nwidth = 3\nheight = 4\nmonochrome\n", 1, 2, 3,
         4, 2},
    };
    for (const auto& c : cases) {
        std::vector<std::string> words{"gray", "GC16", "PART", "15"};
        words.insert(words.end(), c.after_level.begin(), c.after_level.end());
        reader_.clear_journal();
        EXPECT_EQ(morvane(words).out, std::string("gray level = 15\n") + c.out);
        const JsonLine update = only_update();
        expect_region(update, c.left, c.top, c.width, c.height);
        EXPECT_EQ(update.number("flags"), c.flags) << c.out;
    }
}

TEST_F(Morvane, InvalidGrayLevelKeepsThePictureAndStillUpdates)
{
    ASSERT_EQ(morvane({"gray", "GC16", "FULL", "9"}).status, 0);
    const int before = reader_.panel_level(300, 300);
    reader_.clear_journal();
    const ProcessResult result = morvane({"gray", "GC16", "FULL", "16"});
    EXPECT_EQ(result.out, "Invalid gray level!!\n");
    EXPECT_EQ(result.status, 0);
    expect_region(only_update(), 0, 0, 600, 800);
    EXPECT_EQ(before, 9);
    EXPECT_EQ(reader_.panel_level(300, 300), 9);
}

TEST_F(Morvane, WaveformModeAndUpdateModeWords)
{
    const std::pair<const char*, long long> modes[] = {{"INIT", 0}, {"DU", 1}, {"GC16", 2}, {"A2", 4}, {"gc16", 257}};
    for (const auto& [word, mode] : modes) {
        reader_.clear_journal();
        ASSERT_EQ(morvane({"gray", word, "PART", "3"}).status, 0);
        EXPECT_EQ(only_update().number("waveform_mode"), mode) << word;
        EXPECT_EQ(only_update().number("update_mode"), 0);
    }
}

TEST_F(Morvane, RotationWordsAndTheRotatedPanel)
{
    ProcessResult result = morvane({"rotate", "45"});
    EXPECT_EQ(result.out, "Invalid args.\n");
    EXPECT_EQ(result.status, 22);
    EXPECT_TRUE(reader_.requests("FBIOPUT_VSCREENINFO").empty());

    result = morvane({"rotate", "90"});
    EXPECT_EQ(result.out, "Set rotate 90 drgree.\n");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(reader_.requests("FBIOPUT_VSCREENINFO").at(0).number("rotate"), 1);

    // Rotated, the screen is 800 x 600; a black rectangle in its top-left
    // corner lands at the panel's top-right.
    ASSERT_EQ(morvane({"gray", "GC16", "FULL", "15", "AMB", "0", "0", "100", "50"}).status, 0);
    EXPECT_EQ(reader_.panel_level(599, 0), kBlack);
    EXPECT_EQ(reader_.panel_level(550, 99), kBlack);
    EXPECT_EQ(reader_.panel_level(549, 0), kWhite);
    EXPECT_EQ(reader_.panel_level(0, 0), kWhite);

    for (const auto& [word, rotate] : {std::pair{"180", 2}, {"270", 3}, {"0", 0}}) {
        result = morvane({"rotate", word});
        EXPECT_EQ(result.status, 0) << word;
        EXPECT_EQ(reader_.requests("FBIOPUT_VSCREENINFO").back().number("rotate"), rotate) << word;
    }
    EXPECT_EQ(result.out, "Set rotate 0 drgree.\n");
}

TEST_F(Morvane, TheStandbyScreenIsTheFilesPictureAllBlackWithoutOneAndNotShown)
{
    const ProcessResult result = morvane({"setss", reader_.temp_file("absent.bmp")});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    const JsonLine request = reader_.requests("MXCFB_WRITE_STANDBY_SCREEN").at(0);
    EXPECT_EQ(request.number("width"), 600);
    EXPECT_EQ(request.number("height"), 800);
    const std::string standby = read_file(reader_.path() + "/standby.raw");
    ASSERT_EQ(standby.size(), 600u * 800 * 2);
    EXPECT_EQ(standby.find_first_not_of('\0'), std::string::npos);
    EXPECT_EQ(reader_.panel_level(0, 0), kWhite);
    EXPECT_TRUE(reader_.requests("MXCFB_SEND_UPDATE").empty());
    // A bitmap's first pixel is the screen's first, over the zeroed memory.
    const std::string dot = write_image("dot.bmp", make_bitmap(1, 1, [](int, int) { return uint16_t{0x1234}; }));
    ASSERT_EQ(morvane({"setss", dot}).status, 0);
    EXPECT_EQ(read_file(reader_.path() + "/standby.raw").substr(0, 4), std::string("\x34\x12\0\0", 4));
}

TEST_F(Morvane, FileAndStandbyScreenFromAFifoDoNotHang)
{
    const std::string fifo = reader_.temp_file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(morvane({"file", "GC16", "FULL", fifo}).status, 0);
    expect_region(only_update(), 0, 0, 600, 800);
    EXPECT_EQ(morvane({"setss", fifo}).status, 0);
    EXPECT_EQ(reader_.requests("MXCFB_WRITE_STANDBY_SCREEN").size(), 1u);
}

}  // namespace
