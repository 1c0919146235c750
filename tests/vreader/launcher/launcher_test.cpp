// The vreader launcher, run as a user runs it: help, init, run, the journal,
// the screenshot and the test card.
#include "tests/vreader/launcher/launcher_fixture.hpp"

#include <gtest/gtest.h>

#ifdef VREADER_TEST_PNG
#include <png.h>
#endif

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>

namespace {

using namespace launcher_test;

TEST_F(LauncherTest, HelpAndUsage)
{
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"--help"}, {"help"}, {"init", "--help"}, {"help", "fail"}, {"run", "--help"}}) {
        const ProcessResult result = vreader(arguments);
        EXPECT_EQ(result.status, 0) << arguments.back();
        EXPECT_NE(result.out.find("usage: vreader"), std::string::npos) << arguments.back();
    }
    for (const auto& arguments :
         std::vector<std::vector<std::string>>{{},
                                               {"frobnicate"},
                                               {"init"},
                                               {"state"},
                                               {"init", "a", "--screen", "0x10"},
                                               {"screenshot", "a", "b", "--memory", "--standby"}}) {
        const ProcessResult result = vreader(arguments);
        EXPECT_EQ(result.status, 2) << result.err;
        EXPECT_TRUE(result.out.empty());
        EXPECT_NE(result.err.find("usage: vreader"), std::string::npos) << result.err;
    }
}

TEST_F(LauncherTest, InitCreatesResetsAndRefuses)
{
    reader({"--screen", "32x24", "--stride-pad=4", "--graphics-node"});
    const std::string conf = testing_support::read_file(reader_ + "/reader.conf");
    EXPECT_NE(conf.find("panel_width=32\npanel_height=24\nstride_pad=4\ngraphics_node=yes\n"), std::string::npos);
    EXPECT_EQ(std::filesystem::file_size(reader_ + "/panel.gray"), 32u * 24u);
    EXPECT_EQ(std::filesystem::file_size(reader_ + "/fb0.mem"), 4096u);  // (24 + 4) * 64 * 2, in whole pages

    ProcessResult result = vreader({"init", reader_});
    EXPECT_EQ(result.status, 125);
    EXPECT_NE(result.err.find("--force"), std::string::npos);
    testing_support::write_file(reader_ + "/journal.jsonl", "{}\n");
    ASSERT_EQ(vreader({"fail", reader_, "open", "EIO"}).status, 0);
    EXPECT_EQ(vreader({"init", reader_, "--force"}).status, 0);
    EXPECT_EQ(testing_support::read_file(reader_ + "/journal.jsonl"), "");
    EXPECT_EQ(vreader({"fail", reader_, "--list"}).out, "");
    EXPECT_NE(testing_support::read_file(reader_ + "/reader.conf").find("panel_width=600\n"), std::string::npos);

    testing_support::write_file(dir_.file("notes.txt"), "mine");
    result = vreader({"init", dir_.path()});
    EXPECT_EQ(result.status, 125);
    EXPECT_EQ(testing_support::read_file(dir_.file("notes.txt")), "mine");
}

// Every entry under `root`, by relative path: its type, and a regular
// file's bytes.
std::map<std::string, std::string> tree_of(const std::string& root)
{
    namespace fs = std::filesystem;
    std::map<std::string, std::string> tree;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        const fs::file_status status = entry.symlink_status();
        const std::string name = fs::relative(entry.path(), root).string();
        if (fs::is_regular_file(status))
            tree[name] = "file " + testing_support::read_file(entry.path().string());
        else
            tree[name] = fs::is_directory(status) ? "directory" : fs::is_fifo(status) ? "fifo" : "other";
    }
    return tree;
}

TEST_F(LauncherTest, InitForceGivesWhatANewDirectoryGets)
{
    const std::vector<std::string> options{"--emmc-size", "16M", "--touch-devices", "2"};
    const std::string fresh = dir_.file("fresh");
    std::vector<std::string> init{"init", fresh};
    init.insert(init.end(), options.begin(), options.end());
    ASSERT_EQ(vreader(init).status, 0);

    // A reader made otherwise, then used: every verb that leaves something.
    reader({"--emmc-size", "32M", "--touch-devices", "4", "--luns", "5", "--wifi", "eth7", "--no-modem",
            "--graphics-node"});
    const std::vector<std::vector<std::string>> uses{
        {"set", reader_, "tree.attached", "0"},
        {"set", reader_, "subcpu.update_mode", "1"},
        {"set", reader_, "panel.rts", "low"},
        {"set", reader_, "usb.locked", "1"},
        {"set", reader_, "lun0.prevent", "1"},
        {"set", reader_, "vcom", "1"},
        {"fail", reader_, "open", "EIO"},
        {"pastlog", reader_, "--generate", "3"},
        {"uevent", reader_, "--at-bind", "ACTION=add"},
    };
    for (const auto& use : uses)
        EXPECT_EQ(vreader(use).status, 0) << use[1] << " " << use[2];
    EXPECT_EQ(vreader({"tunnel", reader_, "--add", "-"}, {}, "GET / HTTP/1.1\r\n\r\n").status, 0);
    for (const char* left : {"ttymxc1.termios", "ttyUSB0.termios", "nodes.list", "standby.raw",
                             "ZEPA_EBOOK_QLX_STATE1.lock", "storage/documents/mine.txt", "partitions/X.img", "notes"})
        testing_support::write_file(reader_ + "/" + left, "left over");
    std::filesystem::create_directories(reader_ + "/sys/class/extra");

    init[1] = reader_;
    init.push_back("--force");
    ASSERT_EQ(vreader(init).status, 0);
    const auto reset = tree_of(reader_);
    const auto made = tree_of(fresh);
    for (const auto& [name, what] : made) {
        const auto found = reset.find(name);
        if (found == reset.end())
            ADD_FAILURE() << name << " is missing after the reset";
        else
            EXPECT_TRUE(found->second == what) << name << " differs after the reset";
    }
    for (const auto& [name, what] : reset)
        EXPECT_TRUE(made.count(name) != 0) << name << " is left after the reset";
}

TEST_F(LauncherTest, RunExecutesTheVirtualProgram)
{
    reader();
    const std::map<std::string, std::string> programs{{"VREADER_PROGRAMS", VREADER_TEST_PROGRAMS}};
    // A relative reader directory reaches the program as an absolute path.
    std::vector<std::string> command = testing_support::emulator_prefix();
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    ProcessResult result = vreader({"run", "reader", "probe", "7", "--help"}, programs);
    std::filesystem::current_path(cwd);
    EXPECT_EQ(result.status, 7) << result.err;
    EXPECT_EQ(result.out, "xres=600 dir=" + reader_ + " args=7,--help\n");
    EXPECT_EQ(result.err, "probe done\n");
    EXPECT_NE(testing_support::read_file(reader_ + "/journal.jsonl").find("FBIOGET_VSCREENINFO"), std::string::npos);

    // Standard input reaches the program.
    std::vector<std::string> with_input = testing_support::emulator_prefix();
    for (const std::string word : {VREADER_EXECUTABLE, "run", reader_.c_str(), "probe", "stdin"})
        with_input.push_back(word);
    result = testing_support::run_process(
        with_input, {{"VREADER_PROGRAMS", VREADER_TEST_PROGRAMS}, {"VREADER_EMULATOR", READER_TEST_EMULATOR}},
        "0a1b2\n");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(result.out.ends_with("args=stdin\nstdin=0a1b2\n")) << result.out;

    result = vreader({"run", reader_, "nonexistent"}, programs);
    EXPECT_EQ(result.status, 127);
    EXPECT_NE(result.err.find("available programs: probe"), std::string::npos) << result.err;
    EXPECT_EQ(vreader({"run", reader_, "../probe"}, programs).status, 2);
    EXPECT_EQ(vreader({"run", dir_.path(), "probe"}, programs).status, 125);
}

// --at N fails exactly the Nth journaled request of the next run, whatever it
// is, or, when that one cannot take the effect, none and says so; the run
// takes the fault, so the one after it runs clean.
TEST_F(LauncherTest, GadgetPcEndGoesWithTheProgramHoldingThePort)
{
    reader();
    const std::string pc_file = reader_ + "/ttyGS0.pc";
    for (const int signal : {SIGKILL, SIGTERM}) {
        std::vector<std::string> command = testing_support::emulator_prefix();
        command.insert(command.end(), {VREADER_EXECUTABLE, "run", reader_, "probe", "hold"});
        const std::string output = dir_.file("hold.out");
        testing_support::Spawned holder(
            command, {{"VREADER_PROGRAMS", VREADER_TEST_PROGRAMS}, {"VREADER_EMULATOR", READER_TEST_EMULATOR}},
            output);
        const auto pid_line = [&] {
            const std::string text = testing_support::read_file(output);
            const auto at = text.find("pid=");
            return at != std::string::npos && text.ends_with("\n") ? text.substr(at + 4) : std::string();
        };
        ASSERT_TRUE(testing_support::eventually([&] { return !pid_line().empty() && std::filesystem::exists(pc_file); },
                                                30))
            << holder.output();
        std::string pc = testing_support::read_file(pc_file);
        pc.pop_back();
        const int pc_end = ::open(pc.c_str(), O_RDWR | O_NOCTTY);
        EXPECT_GE(pc_end, 0) << pc;  // the holder's terminal
        ::close(pc_end);
        const int pid = std::stoi(pid_line());
        ASSERT_EQ(::kill(pid, signal), 0);
        EXPECT_EQ(holder.wait(30), 128 + signal);
        EXPECT_TRUE(testing_support::eventually([&] { return !std::filesystem::exists(pc_file); }, 30))
            << signal << ": " << pc << " is still published";
    }
}

TEST_F(LauncherTest, ScreenshotWritesAPng)
{
    reader({"--screen", "20x10"});
    const std::string file = dir_.file("shot.png");
    const ProcessResult result = vreader({"screenshot", reader_, file});
#ifdef VREADER_TEST_PNG
    ASSERT_EQ(result.status, 0) << result.err;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_NE(png_image_begin_read_from_file(&image, file.c_str()), 0) << image.message;
    EXPECT_EQ(image.width, 20u);
    EXPECT_EQ(image.height, 10u);
    image.format = PNG_FORMAT_GRAY;
    std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
    ASSERT_NE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr), 0) << image.message;
    EXPECT_EQ(pixels, std::vector<std::uint8_t>(200, 255));

    const ProcessResult memory = vreader({"screenshot", reader_, file, "--memory"});
    EXPECT_EQ(memory.status, 0) << memory.err;
    const ProcessResult standby = vreader({"screenshot", reader_, file, "--standby"});
    EXPECT_EQ(standby.status, 125);
    EXPECT_NE(standby.err.find("no standby screen"), std::string::npos);
#else
    EXPECT_EQ(result.status, 125);
    EXPECT_NE(result.err.find("built without PNG support"), std::string::npos);
#endif
}

TEST_F(LauncherTest, JournalPrintsAndClears)
{
    reader();
    testing_support::write_file(reader_ + "/journal.jsonl", "{\"seq\":1}\n");
    EXPECT_EQ(vreader({"journal", reader_}).out, "{\"seq\":1}\n");
    EXPECT_EQ(vreader({"journal", reader_, "--clear"}).status, 0);
    EXPECT_EQ(vreader({"journal", reader_}).out, "");
}

TEST_F(LauncherTest, OutputThatCannotBeWrittenFailsTheVerb)
{
    reader();
    testing_support::write_file(reader_ + "/journal.jsonl", "{\"seq\":1}\n");
    ASSERT_EQ(vreader({"fail", reader_, "open", "EIO"}).status, 0);
    for (const auto& verb : std::vector<std::vector<std::string>>{{"--help"},
                                                                  {"state", reader_},
                                                                  {"journal", reader_},
                                                                  {"table", reader_},
                                                                  {"dump", reader_, "Id Data"},
                                                                  {"fail", reader_, "--list"}}) {
        std::vector<std::string> arguments{"exec \"$@\" >/dev/full", "sh"};
        for (const std::string& prefix : testing_support::emulator_prefix())
            arguments.push_back(prefix);
        arguments.push_back(VREADER_EXECUTABLE);
        arguments.insert(arguments.end(), verb.begin(), verb.end());
        arguments.insert(arguments.begin(), {"/bin/sh", "-c"});
        const ProcessResult result =
            testing_support::run_process(arguments, {{"VREADER_EMULATOR", READER_TEST_EMULATOR}}, {});
        EXPECT_EQ(result.status, 125) << verb[0];
        EXPECT_NE(result.err.find("vreader: cannot write standard output: No space left on device"),
                  std::string::npos)
            << verb[0] << ": " << result.err;
    }
}

TEST_F(LauncherTest, BitmapWritesATestCardTheDisplayProgramsLoad)
{
    const std::string file = dir_.file("card.bmp");
    ASSERT_EQ(vreader({"bitmap", file, "--size", "33x20"}).status, 0);
    const std::string bytes = testing_support::read_file(file);
    const auto u32 = [&](size_t at) {
        std::uint32_t value = 0;
        for (size_t i = 0; i < 4; ++i)
            value |= std::uint32_t{static_cast<std::uint8_t>(bytes.at(at + i))} << (8 * i);
        return value;
    };
    const size_t row = 68;  // 33 pixels of 2 bytes, padded to a multiple of 4
    ASSERT_EQ(bytes.size(), 66 + row * 20);
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    EXPECT_EQ(u32(2), bytes.size());
    EXPECT_GT(u32(14), 12u);  // an info header, not a core header
    EXPECT_EQ(u32(18), 33u);
    EXPECT_EQ(u32(22), 20u);
    EXPECT_EQ(u32(28) & 0xFFFF, 16u);
    // Rows are stored bottom first: the last one is the top row, with the
    // black corner square; the white inside of the card is 0xF79E.
    const size_t top = bytes.size() - row;
    EXPECT_EQ(u32(top) & 0xFFFF, 0u);
    EXPECT_EQ(u32(66 + 1 * row + 2 * 16) & 0xFFFF, 0xF79Eu);  // (16, 18)
    EXPECT_EQ(vreader({"bitmap", file, "--size", "33"}).status, 2);
}

}  // namespace
