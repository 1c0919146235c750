// tpinspect run as a process on the virtual reader, driven by finger traces
// played into its input devices.
#include "tests/support/virtual_reader.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <algorithm>
#include <array>
#include <utility>

using namespace testing_support;

namespace {

// Back from x = 300 to 260 and on again: both cells it crossed twice.
const std::string kSloppy = "repetition area: left=256 top=0 right=287 bottom=65\n"
                            "repetition area: left=288 top=0 right=319 bottom=65\n";

std::string trace(const std::string& name) { return std::string(TPINSPECT_TRACES) + "/" + name; }

class Tpinspect : public ::testing::Test {
protected:
    ProcessResult inspect(const std::string& trace_name, const std::vector<std::string>& options) const
    {
        std::vector<std::string> arguments{"run", reader_.path(), "--trace", trace(trace_name), "tpinspect"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        return reader_.vreader(arguments);
    }

    VirtualReader reader_{{"--emmc-size", "16M"}};
};

TEST_F(Tpinspect, RingInspections)
{
    const struct {
        const char* why;
        const char* trace;
        std::vector<std::string> options;
        std::string out;
        int status;
    } cases[] = {
        {"once round, lifted once", "ring.trace", {"-t", "0"}, "", 0},
        {"one stroke", "ring.trace", {"-s", "-t", "0"}, "", 0},
        {"in order", "ring.trace", {"-c", "-t", "0"}, "", 0},
        {"cells entered twice", "sloppy_ring.trace", {"-t", "0"}, kSloppy, 1},
        {"two strokes", "sloppy_ring.trace", {"-s", "-t", "0"}, kSloppy, 1},
        // A touch is processed where the finger comes down and again where
        // it is lifted.
        {"in order, outside", "outside.trace", {"-c", "-t", "0"},
         "outside coordinates: 300, 400\noutside coordinates: 300, 400\noutside test area", 255},
        {"no layout", "two_points.trace", {},
         "outside coordinates: 100, 200\noutside coordinates: 100, 200\n"
         "outside coordinates: 300, 400\noutside coordinates: 300, 400\n",
         0},
        {"no touch", "no_touch.trace", {"-t", "0"}, "", 255},
        {"bad option", "no_touch.trace", {"-x"}, "", 255},
    };
    for (const auto& c : cases) {
        const ProcessResult result = inspect(c.trace, c.options);
        EXPECT_EQ(result.out, c.out) << c.why;
        EXPECT_EQ(result.status, c.status) << c.why << result.err;
    }
    // A bad option still releases the key device and the display. The key
    // device is not handed on to any program it would start.
    size_t opened = 0;
    for (const JsonLine& open : reader_.requests("open")) {
        opened += open.number("result") >= 0;
        if (open.text("path") == "/dev/input/event0") {
            EXPECT_NE(open.number("flags") & O_CLOEXEC, 0);
        }
    }
    EXPECT_EQ(reader_.requests("close").size(), opened);
}

TEST_F(Tpinspect, SkippingACellInOrderModeNamesTheFirstOutOfPlace)
{
    // The top edge from its third cell on: the first two are skipped.
    write_file(reader_.temp_file("skip.trace"), "step 2\ndown 130 32\nmove 570 32 30\nup\nwait 100\nhome\n");
    const ProcessResult result = reader_.vreader(
        {"run", reader_.path(), "--trace", reader_.temp_file("skip.trace"), "tpinspect", "-c", "-t", "0", "-i", "20"});
    EXPECT_EQ(result.out, "skip area: left=64 top=0 right=95 bottom=65\n");
    EXPECT_EQ(result.status, 1);
    // The marks show while the finger moves, with the timer's partial
    // updates every -i milliseconds, not only once it is lifted.
    size_t partial = 0;
    for (const JsonLine& update : reader_.requests("MXCFB_SEND_UPDATE"))
        partial += update.number("update_mode") == 0;
    EXPECT_GT(partial, 1u);
    size_t ticks = 0;
    for (const JsonLine& wait : reader_.requests("poll")) {
        if (wait.number("nfds") != 0)
            continue;
        ++ticks;
        EXPECT_EQ(wait.number("timeout"), 20);
    }
    EXPECT_GT(ticks, 0u);
}

TEST_F(Tpinspect, ThePanelShowsTheTargetsAndTheTrail)
{
    // Targets in the -g gray level, 13 by default; 0 and 15 are its ends.
    for (const auto& [gray, level] : {std::pair{"15", 15}, {"0", 0}}) {
        ASSERT_EQ(inspect("ring.trace", {"-g", gray, "-t", "0"}).status, 0) << gray;
        EXPECT_EQ(reader_.panel_level(8, 30), level) << gray;
    }
    ASSERT_EQ(inspect("ring.trace", {"-t", "0", "-t", "5"}).status, 1);
    EXPECT_EQ(reader_.panel_level(8, 30), 13) << "the start mark's outline";
    EXPECT_EQ(reader_.panel_level(118, 200), 13) << "a grid cell's outline";
    EXPECT_EQ(reader_.panel_level(300, 32), 15) << "the trail";
    EXPECT_EQ(reader_.panel_level(300, 400), 0) << "the cleared screen";
    EXPECT_EQ(reader_.panel_level(535, 400), 13) << "the ring's inner frame";
    // The timer ticks every 50 ms unless -i says otherwise.
    const auto ticks = reader_.requests("poll");
    EXPECT_TRUE(std::any_of(ticks.begin(), ticks.end(), [](const JsonLine& p) { return p.number("nfds") == 0; }));
    for (const JsonLine& tick : ticks)
        EXPECT_TRUE(tick.number("nfds") != 0 || tick.number("timeout") == 50);

    // The lanes are outlined whole; their cells are not.
    ASSERT_EQ(inspect("two_points.trace", {"-t", "1", "-t", "2"}).status, 0);
    EXPECT_EQ(reader_.panel_level(118, 0), 13) << "a vertical lane's top row";
    EXPECT_EQ(reader_.panel_level(0, 200), 13) << "a horizontal lane's first column";
    EXPECT_EQ(reader_.panel_level(128, 705), 0) << "inside a vertical lane, at its closing cell";
    EXPECT_EQ(reader_.panel_level(512, 400), 0) << "inside a horizontal lane, at its closing cell";
}

TEST_F(Tpinspect, ExtremeTouchPositionsAreJudgedAndMarkedWithinTheScreen)
{
    // A lift-off refreshes the cleared screen; then a touch at (100, 100),
    // one record moving it to an extreme position, and the lift-off back at
    // (100, 100): that refresh covers what the screen holds of the marks.
    // The timer never ticks in between.
    const struct {
        const char* record;  // type, code, value
        std::vector<std::string> options;
        const char* point;
        std::array<long long, 4> region;  // top, left, width, height
    } cases[] = {
        {"3 53 -2147483648", {"-t", "0"}, "-2147483648, 100", {99, 0, 102, 3}},
        {"3 53 2147483647", {"-t", "3"}, "2147483647, 100", {99, 99, 501, 3}},
        {"3 54 -2147483648", {"-t", "5"}, "100, -2147483648", {0, 99, 3, 102}},
        {"3 54 2147483647", {"-t", "1", "-t", "2"}, "100, 2147483647", {99, 99, 3, 701}},
        // Marks as large as -r allows cover the screen; negative ones nothing.
        {"3 53 -2147483648", {"-r", "2147483647", "-t", "4"}, "-2147483648, 100", {0, 0, 600, 800}},
        {"3 54 2147483647", {"-r", "-2147483648", "-t", "0"}, "100, 2147483647", {0, 0, 600, 800}},
        // Marks of 5 pixels, centred on (100, 100) and on (300, 100).
        {"3 53 300", {"-r", "5", "-t", "0"}, "300, 100", {98, 98, 205, 5}},
    };
    for (const auto& c : cases) {
        write_file(reader_.temp_file("extreme.trace"),
                   std::string("down 300 400\nup\ndown 100 100\nevent ") + c.record + "\nup\nwait 100\nhome\n");
        reader_.clear_journal();
        std::vector<std::string> arguments{"run", reader_.path(), "--trace", reader_.temp_file("extreme.trace"),
                                           "tpinspect", "-i", "100000"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const ProcessResult result = reader_.vreader(arguments);
        EXPECT_NE(result.out.find(std::string("outside coordinates: ") + c.point + "\n"), std::string::npos)
            << c.point << result.out;
        EXPECT_TRUE(result.status == 0 || result.status == 1) << c.point << result.err;
        EXPECT_EQ(result.err.find("runtime error"), std::string::npos) << result.err;
        std::array<long long, 4> last{};
        for (const JsonLine& update : reader_.requests("MXCFB_SEND_UPDATE"))
            if (update.number("update_mode") == 0)
                last = {update.number("update_region.top"), update.number("update_region.left"),
                        update.number("update_region.width"), update.number("update_region.height")};
        EXPECT_EQ(last, c.region) << c.point;
    }
}

TEST_F(Tpinspect, WhatCannotBeShownEndsTheTestWith255)
{
    // Each ends at once with 255 and a message, having closed what it opened.
    const struct {
        const char* screen;
        const char* fault;  // request, errno
        std::vector<std::string> options;
        const char* message;
    } cases[] = {
        {"3x800", nullptr, {"-t", "1"}, "display of 3x800 pixels"},
        {"800x3", nullptr, {"-t", "2"}, "display of 800x3 pixels"},
        {"3x3", nullptr, {"-t", "5"}, "cannot be used"},
        {"600x800", "fb0:open ENODEV", {"-t", "0"}, "open(/dev/fb0)"},
        {"600x800", "FBIOGET_VSCREENINFO EIO", {"-t", "0"}, "ioctl(FBIOGET_VSCREENINFO)"},
        {"600x800", "FBIOGET_FSCREENINFO EIO", {"-t", "0"}, "ioctl(FBIOGET_FSCREENINFO)"},
        {"600x800", "mmap ENOMEM", {"-t", "0"}, "mmap(/dev/fb0)"},
        {"600x800", nullptr, {"-t", "0", "-g", "16"}, "-g takes a gray level from 0 to 15"},
        {"600x800", nullptr, {"-g", "-1", "-t", "0"}, "-g takes a gray level from 0 to 15"},
    };
    for (const auto& c : cases) {
        const std::string screen = c.screen;
        const VirtualReader reader({"--screen", screen}, std::stoi(screen),
                                   std::stoi(screen.substr(screen.find('x') + 1)));
        if (c.fault != nullptr) {
            const std::string fault = c.fault;
            reader.fail(fault.substr(0, fault.find(' ')), fault.substr(fault.find(' ') + 1));
        }
        const auto program = reader.start("tpinspect", c.options);
        EXPECT_EQ(program->wait(30), 255) << c.message;
        EXPECT_NE(program->output().find(c.message), std::string::npos) << program->output();
        size_t opened = 0;
        for (const JsonLine& open : reader.requests("open"))
            opened += open.number("result") >= 0;
        EXPECT_EQ(reader.requests("close").size(), opened) << c.message;
    }
    // The smallest screen a layout takes.
    const VirtualReader small({"--screen", "4x4"}, 4, 4);
    const ProcessResult result = small.vreader(
        {"run", small.path(), "--trace", trace("two_points.trace"), "tpinspect", "-t", "1", "-t", "2", "-t", "5"});
    EXPECT_EQ(result.status, 0) << result.err;
}

TEST_F(Tpinspect, LostInputEndsTheInspection)
{
    // A standard input whose writer is gone (a closed pipe, a hung-up
    // terminal) ends it as a typed line does, instead of spinning.
    const ProcessResult closed_input = reader_.run("tpinspect", {"-t", "0"}, "");
    EXPECT_EQ(closed_input.status, 255) << closed_input.err;

    // A reader without touch devices: nothing to follow, none opened, and
    // no wait for the operator.
    const VirtualReader untouchable({"--touch-devices", "0"});
    EXPECT_EQ(untouchable.start("tpinspect", {"-t", "0"})->wait(30), 255);
    for (const JsonLine& open : untouchable.requests("open"))
        EXPECT_FALSE(open.text("path").starts_with("/dev/input/event1")) << open.text("path");

    // A touch device that fails to open loses its touches; HOME still ends
    // the inspection, and the launcher says what it dropped.
    ASSERT_EQ(reader_.vreader({"fail", reader_.path(), "open", "EIO", "1", "--after", "2"}).status, 0);
    const ProcessResult no_touch_device = reader_.vreader(
        {"run", reader_.path(), "--trace", trace("two_points.trace"), "--open-wait", "5", "tpinspect", "-t", "0"});
    EXPECT_EQ(no_touch_device.out, "");
    EXPECT_EQ(no_touch_device.status, 255);
    EXPECT_NE(no_touch_device.err.find("no program read /dev/input/event1: its events were dropped"),
              std::string::npos)
        << no_touch_device.err;
}

TEST_F(Tpinspect, APersonDrivesItFromASecondShell)
{
    const auto program = reader_.start("tpinspect", {"-t", "0"});
    const ProcessResult result = reader_.vreader({"touch", reader_.path(), trace("ring.trace")});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(program->wait(60), 0) << program->output();
    // Typed lines need a program the launcher started.
    write_file(reader_.temp_file("line.trace"), "line x\n");
    EXPECT_EQ(reader_.vreader({"touch", reader_.path(), reader_.temp_file("line.trace")}).status, 125);
}

}  // namespace
