// morvane run as a process against a virtual reader: its command line, what
// it prints, its exit status, the controller settings and how it fails.
#include "tests/display/morvane_fixture.hpp"

#include <gtest/gtest.h>

#include <array>

using namespace morvane_test;

namespace {

TEST_F(Morvane, NoCommandPrintsTheUsageLineForLineWithoutOpeningTheDevice)
{
    const ProcessResult result = morvane({});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, read_file(MORVANE_USAGE_GOLDEN));
    EXPECT_TRUE(reader_.journal().empty());
}

TEST_F(Morvane, UnknownCommandAndWrongArgumentCounts)
{
    ProcessResult result = morvane({"show"});
    EXPECT_EQ(result.out, "Invalid command.\n");
    EXPECT_EQ(result.status, 2);

    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{{"writewf", "a.wf", "b.wf"},
                                                                                           {"pandisp", "now"},
                                                                                           {"setss"},
                                                                                           {"file", "GC16", "FULL"},
                                                                                           {"rotate"},
                                                                                           {"setinit", "ON", "OFF"}}) {
        result = morvane(arguments);
        EXPECT_EQ(result.out, "Invalid args\n") << arguments[0];
        EXPECT_EQ(result.status, 22) << arguments[0];
    }
    // The device was opened and closed each time, and nothing was sent.
    EXPECT_EQ(opened(), reader_.requests("close").size());
    EXPECT_TRUE(reader_.requests("MXCFB_SEND_UPDATE").empty());
    EXPECT_TRUE(reader_.requests("FBIOPAN_DISPLAY").empty());
    EXPECT_TRUE(reader_.requests("MXCFB_WRITE_WAVEFORM").empty());
}

TEST_F(Morvane, GetinfoPrintsTheScreenInformation)
{
    const ProcessResult result = morvane({"getinfo", "surplus"});
    EXPECT_EQ(result.status, 0);
    const JsonLine fix = reader_.requests("FBIOGET_FSCREENINFO").at(0);
    char smem[64];
    std::snprintf(smem, sizeof smem, "smem_start = %08llX\nsmem_len = %08llX\n",
                  static_cast<unsigned long long>(fix.number("smem_start")),
                  static_cast<unsigned long long>(fix.number("smem_len")));
    EXPECT_EQ(result.out, std::string("xres = 600 px\nyres = 800 px\nxres_virtual = 608 px\nyres_virtual = 1600 px\n"
                                      "x_offset = 0\ny_offset = 0\nbpp = 16\n") +
                              smem +
                              "red_offset = 11\nred_length = 5\ngreen_offset = 5\ngreen_length = 6\n"
                              "blue_offset = 0\nblue_length = 5\nactivate = 0\n");
    EXPECT_GE(fix.number("smem_len"), 608 * 1600 * 2);
}

TEST_F(Morvane, PandispTogglesRelativeToTheReportedOffset)
{
    ProcessResult result = morvane({"pandisp"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(reader_.requests("FBIOPAN_DISPLAY").back().number("yoffset"), 800);
    result = morvane({"pandisp"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(reader_.requests("FBIOPAN_DISPLAY").back().number("yoffset"), 0);
}

TEST_F(Morvane, WaitSleepsForTheGivenMicroseconds)
{
    EXPECT_EQ(morvane({"wait", "250000"}).status, 0);
    EXPECT_EQ(reader_.requests("usleep").at(0).number("usec"), 250000);
    // A negative time does not turn into an hour-long wait.
    EXPECT_EQ(morvane({"wait", "-5"}).status, 0);
    EXPECT_EQ(reader_.requests("usleep").at(1).number("usec"), 0);
    // Past the int range the reader's atoi saturates: about 35 minutes.
    EXPECT_EQ(morvane({"wait", "3000000000"}).status, 0);
    EXPECT_EQ(reader_.requests("usleep").at(2).number("usec"), 2147483647);
}

TEST_F(Morvane, ControllerSettingsAreSentAndReadBack)
{
    ASSERT_EQ(reader_.vreader({"set", reader_.path(), "pmic_temperature", "23"}).status, 0);
    ProcessResult result = morvane({"gettemp"});
    EXPECT_EQ(result.out, "current temperature = 23\n");
    EXPECT_EQ(result.status, 0);

    result = morvane({"settemp", "abc"});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(reader_.requests("MXCFB_SET_TEMPERATURE").at(0).number("temperature"), 0);

    EXPECT_EQ(morvane({"pddelay", "1000"}).status, 0);
    EXPECT_EQ(reader_.requests("MXCFB_SET_PWRDOWN_DELAY").at(0).number("delay"), 1000);

    result = morvane({"setvcom", "1520000"});
    EXPECT_EQ(result.out, "set vcom = 1520000 [-uV]\n");
    EXPECT_EQ(result.status, 0);
    result = morvane({"getvcom"});
    EXPECT_EQ(result.out, "current vcom = 1520000 [-uV]\n");
    result = morvane({"setvcom", "3000000000"});
    EXPECT_EQ(result.out, "set vcom = 2147483647 [-uV]\n");
    EXPECT_EQ(reader_.requests("MXCFB_SET_VCOM").back().number("vcom"), 2147483647);

    ASSERT_EQ(reader_.vreader({"set", reader_.path(), "wf_version", "00A1b2C3d4E5f60718FF"}).status, 0);
    result = morvane({"getwfver"});
    EXPECT_EQ(result.out, "00A1B2C3D4E5F60718FF\n");
    EXPECT_EQ(result.status, 0);
}

TEST_F(Morvane, PanelInitFlagTakesOnlyTheExactWords)
{
    ProcessResult result = morvane({"setinit", "on"});
    EXPECT_EQ(result.out, "Invalid arg on\n");
    EXPECT_EQ(result.status, 255);
    EXPECT_TRUE(reader_.requests("MXCFB_SET_PANEL_INIT_FLAG").empty());

    EXPECT_EQ(morvane({"setinit", "ON"}).status, 0);
    EXPECT_EQ(morvane({"setinit", "OFF"}).status, 0);
    const auto flags = reader_.requests("MXCFB_SET_PANEL_INIT_FLAG");
    ASSERT_EQ(flags.size(), 2u);
    EXPECT_EQ(flags[0].number("flag"), 1);
    EXPECT_EQ(flags[1].number("flag"), 0);
}

TEST_F(Morvane, StartUpFailures)
{
    struct Case {
        const char* request;
        const char* error;
        const char* output;
        int status;
    };
    const Case cases[] = {
        {"open", "EACCES", "open error (13)\n", 2},
        {"FBIOGET_FSCREENINFO", "EIO", "Cannot execute ioctl.\n", 2},
        {"mmap", "ENOMEM", "mmap error 12\n", 1},
        {"FBIOGET_VSCREENINFO", "EIO", "Cannot execute ioctl.\n", 2},
    };
    for (const Case& c : cases) {
        reader_.fail(c.request, c.error);
        const ProcessResult result = morvane({"getinfo"});
        EXPECT_EQ(result.out, c.output) << c.request;
        EXPECT_EQ(result.status, c.status) << c.request;
    }
    // Each fault was used up: the next run starts normally, and every run
    // closed what it opened.
    EXPECT_EQ(morvane({"getinfo"}).status, 0);
    EXPECT_EQ(opened(), reader_.requests("close").size());
}

TEST(MorvaneNodes, TheGraphicsNodeIsTakenBeforeTheClassicOne)
{
    for (const auto& [options, node] :
         {std::pair{std::vector<std::string>{}, "/dev/fb0"},
          std::pair{std::vector<std::string>{"--graphics-node"}, "/dev/graphics/fb0"}}) {
        VirtualReader reader(options);
        EXPECT_EQ(reader.run("morvane", {"getinfo"}).status, 0) << node;
        std::string opened;
        for (const JsonLine& open : reader.requests("open"))
            if (open.number("result") >= 0)
                opened = open.text("path");
        EXPECT_EQ(opened, node);
    }
}

// Framebuffer memory the program can map but not also copy (132 MB here).
TEST(MorvaneNodes, AnImageBufferThatCannotBeHadEndsTheRun)
{
    if (!VirtualReader::memory_limits_work())
        GTEST_SKIP() << "address space limits need a native build without sanitizers";
    const VirtualReader reader({"--screen", "4096x4096", "--stride-pad", "4000"});
    const ProcessResult result = reader.run_limited("morvane", {"getinfo"}, 200 * 1024);
    EXPECT_EQ(result.out, "Cannot alloc image buffer.\n");
    EXPECT_EQ(result.status, 2);
}

TEST_F(Morvane, RequestFailuresAreReportedWithTheDriversErrno)
{
    struct Case {
        std::vector<std::string> arguments;
        const char* request;
        const char* output;
        int status;
    };
    const Case cases[] = {
        {{"gray", "GC16", "FULL", "3"},
         "MXCFB_SET_UPDATE_SCHEME",
         "gray level = 3\nfb ioctl(MXCFB_SET_UPDATE_SCHEME) error (5)\nupdata panel failed. errno=5\n",
         255},
        {{"patt", "GC16", "FULL", "16"},
         "MXCFB_SEND_UPDATE",
         "pattern 16\nfb ioctl(MXCFB_SEND_UPDATE) error (5)\nupdata panel failed. errno=5\n",
         255},
        {{"rotate", "180"}, "FBIOPUT_VSCREENINFO", "Set rotate 180 degree.\nset rotate failed. 5.\n", 5},
        {{"pandisp"}, "FBIOPAN_DISPLAY", "fails to pan. 5\n", 5},
        {{"gettemp"}, "MXCFB_GET_PMIC_TEMPERATURE", "fb ioctl(MXCFB_GET_PMIC_TEMPERATURE) error (5)\n", 255},
        {{"settemp", "25"}, "MXCFB_SET_TEMPERATURE", "fb ioctl(MXCFB_SET_TEMPERATURE) error (5)\n", 255},
        {{"pddelay", "10"}, "MXCFB_SET_PWRDOWN_DELAY", "fb ioctl(MXCFB_SET_PWRDOWN_DELAY) error (5)\n", 255},
        {{"getvcom"}, "MXCFB_GET_VCOM", "fb ioctl(MXCFB_GET_VCOM) error (5)\n", 255},
        {{"setvcom", "1250000"}, "MXCFB_SET_VCOM", "set vcom = 1250000 [-uV]\nfb ioctl(MXCFB_SET_VCOM) error (5)\n", 5},
        {{"getwfver"}, "MXCFB_GET_WF_VERSION", "fb ioctl(MXCFB_GET_WF_VERSION) error (5)\n", 5},
        {{"setss", "x.bmp"}, "MXCFB_WRITE_STANDBY_SCREEN", "Fail to write standby screen image! 5\n", 5},
        {{"setinit", "ON"}, "MXCFB_SET_PANEL_INIT_FLAG", "Fail to set panel init flag! 5\n", 5},
    };
    for (const Case& c : cases) {
        reader_.clear_journal();
        reader_.fail(c.request, "EIO");
        const ProcessResult result = morvane(c.arguments);
        EXPECT_EQ(result.out, c.output) << c.request;
        EXPECT_EQ(result.status, c.status) << c.request;
        EXPECT_EQ(reader_.requests(c.request).size(), 1u) << c.request;
    }
    // A failed scheme request sends no update.
    reader_.clear_journal();
    reader_.fail("MXCFB_SET_UPDATE_SCHEME", "EIO");
    morvane({"gray", "GC16", "FULL", "3"});
    EXPECT_TRUE(reader_.requests("MXCFB_SEND_UPDATE").empty());
}

TEST_F(Morvane, ThePictureSurvivesBetweenRunsLikeTheHardware)
{
    // Bands down the screen and a black box: a picture that differs from
    // row to row and from column to column.
    ASSERT_EQ(morvane({"vpatt", "GC16", "FULL", "16"}).status, 0);
    ASSERT_EQ(morvane({"gray", "GC16", "PART", "15", "AMB", "10", "20", "30", "40"}).status, 0);
    // A later run that refreshes without drawing shows the same memory.
    ASSERT_EQ(morvane({"gray", "GC16", "FULL", "99"}).status, 0);
    for (const auto& [x, y, level] : {std::array{599, 49, 0}, {0, 50, 1}, {300, 799, 15}, {10, 20, 15},
                                      {39, 59, 15}, {40, 59, 1}, {9, 20, 0}})
        EXPECT_EQ(reader_.panel_level(x, y), level) << x << "," << y;
}

}  // namespace
