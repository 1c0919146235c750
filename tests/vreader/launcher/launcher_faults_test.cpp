// The vreader launcher's faults: listed, checked, refused when they could
// never fire, and fired on the Nth request of a run.
#include "tests/vreader/launcher/launcher_fixture.hpp"

#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <functional>

namespace {

using namespace launcher_test;

TEST_F(LauncherTest, FaultsAreListedAndChecked)
{
    reader();
    EXPECT_EQ(vreader({"fail", reader_, "MXCFB_SEND_UPDATE", "EIO"}).status, 0);
    EXPECT_EQ(vreader({"fail", reader_, "open", "13", "always"}).status, 0);
    EXPECT_EQ(vreader({"fail", reader_, "MXCFB_SEND_UPDATE", "ETIMEDOUT", "3"}).status, 0);
    EXPECT_EQ(vreader({"fail", reader_, "--list"}).out, "MXCFB_SEND_UPDATE ETIMEDOUT 3\nopen EACCES always\n");

    ProcessResult result = vreader({"fail", reader_, "MXCFB_FROB", "EIO"});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("MXCFB_SET_PANEL_INIT_FLAG"), std::string::npos);
    EXPECT_EQ(vreader({"fail", reader_, "open", "EWHATEVER"}).status, 2);
    EXPECT_EQ(vreader({"fail", reader_, "open", "EIO", "0"}).status, 2);
    EXPECT_EQ(vreader({"fail", dir_.path(), "open", "EIO"}).status, 125);

    // Scoped to a device, and effects other than an errno.
    EXPECT_EQ(vreader({"fail", reader_, "mmcblk2:read", "short"}).status, 0);
    EXPECT_EQ(vreader({"fail", reader_, "mmcblk2:write", "lost", "2"}).status, 0);
    EXPECT_EQ(vreader({"fail", reader_, "fb0:read", "EIO"}).status, 0);
    EXPECT_EQ(vreader({"fail", reader_, "ttymxc1:read", "EIO", "1", "--after", "2"}).status, 0);
    EXPECT_EQ(vreader({"fail", reader_, "reply_1E", "split:3", "always"}).status, 0);
    EXPECT_EQ(vreader({"fail", reader_, "--list"}).out,
              "MXCFB_SEND_UPDATE ETIMEDOUT 3\nopen EACCES always\nmmcblk2:read short 1\nmmcblk2:write lost 2\n"
              "fb0:read EIO 1\nttymxc1:read EIO 1 after 2\nreply_1E split:3 always\n");
    for (const auto& good : std::vector<std::vector<std::string>>{
             {"event1:read", "short"}, {"ttyGS0:tcsetattr", "EIO"}, {"tcgetattr", "ENOTTY"}, {"net:read", "EIO"}})
        EXPECT_EQ(vreader({"fail", reader_, good[0], good[1]}).status, 0) << good[0] << " " << good[1];
    // Faults that no request could ever fire.
    for (const auto& bad : std::vector<std::vector<std::string>>{
             {"mmcblk7:read", "EIO"}, {"open", "short"}, {"read", "lost"}, {"mmc-2:read", "EIO"},
             {"reply", "EIO"}, {"read", "split:2"}, {"reply_1E", "split:1"}, {"reply_XX", "silent"},
             {"event2:read", "EIO"}, {"event01:read", "EIO"}, {"net:write", "lost"}, {"net:read", "short"},
             {"uevent:write", "EIO"}, {"log_past:write", "lost"}, {"tcsetattr", "short"}})
        EXPECT_EQ(vreader({"fail", reader_, bad[0], bad[1]}).status, 2) << bad[0] << " " << bad[1];
    EXPECT_EQ(vreader({"fail", reader_, "--clear"}).status, 0);
    EXPECT_EQ(vreader({"fail", reader_, "--list"}).out, "");
}

// A fault is checked against what the device it names (or, with none, any
// device) journals and can do: one that could never fire is refused, with
// what the device or the request takes.
TEST_F(LauncherTest, FaultsThatCouldNeverFireAreRefusedWithWhatTheDeviceTakes)
{
    reader();
    const struct {
        std::string request, effect, said;
    } rows[] = {
        {"ttymxc1:reply", "sum:5", "ttymxc1:reply takes silent, split:N, lead:B, code:B, len:N or result:B"},
        {"sub_cpu:reply", "split:3", "sub_cpu:reply takes silent, lead:B, code:B, len:N, result:B or sum:B"},
        {"ttymxc1:flash", "corrupt", "ttymxc1 takes no flash; it takes open, close, read, write, tcgetattr,"},
        {"sub_cpu:TIOCMGET", "EIO", "sub_cpu takes no TIOCMGET; it takes open, close, read, write, reply,"},
        {"ttymxc1:reply_F0", "silent", "ttymxc1 answers no command F0: its reply_XX has XX 00 01 03 0A 0E 0F 1B 1E"},
        {"ttymxc1:reply_04", "silent", "ttymxc1 answers no command 04"},  // touch start streams reports
        {"reply_ff", "silent", "no device answers command FF: ttymxc1 answers 00 01 03"},
        {"reply_1E", "sum:1", "reply_1E takes silent, split:N, lead:B, code:B, len:N or result:B"},
        {"usb:scsi_ff", "check", "usb answers no command FF"},
        {"fb0:fsync", "EIO", "fb0 takes no fsync"},
        {"fb0:fstat", "EIO", "fb0 takes no fstat"},
        {"ttymxc1:poll", "EIO", "ttymxc1 takes no poll"},
        {"mmcblk2:MXCFB_SEND_UPDATE", "EIO", "mmcblk2 takes no MXCFB_SEND_UPDATE"},
        {"ttyGS0:TIOCMGET", "EIO", "ttyGS0 takes no TIOCMGET"},
        {"control_mode:lseek", "EIO", "control_mode takes no lseek"},
        {"melgrin:read", "EIO", "melgrin takes no read; it takes open, close, PASTLOG_FLUSH"},
        {"sub_cpu:reply", "lead:1EE", "'lead' takes :B, a byte in hexadecimal"},
        {"ttymxc2:read", "EIO", "this reader has no device 'ttymxc2'; its devices are fb0, ttymxc1,"},
    };
    for (const auto& row : rows) {
        const ProcessResult result = vreader({"fail", reader_, row.request, row.effect});
        EXPECT_EQ(result.status, 2) << row.request << " " << row.effect;
        EXPECT_NE(result.err.find(row.said), std::string::npos) << result.err;
    }
    EXPECT_EQ(vreader({"fail", reader_, "--list"}).out, "");
}

// A command code and a byte value mean one thing however they are written;
// the faults file keeps the spelling the devices look for.
TEST_F(LauncherTest, FaultSpellingsMeanOneFault)
{
    reader();
    const struct {
        std::string request, effect, listed;
    } rows[] = {
        {"usb:scsi_a0", "check", "usb:scsi_A0 check 1\n"},
        {"reply_1e", "silent", "reply_1E silent 1\n"},
        {"sub_cpu:reply_f0", "silent", "sub_cpu:reply_F0 silent 1\n"},
        {"reply_1E", "lead:EE", "reply_1E lead:EE 1\n"},
        {"reply_1E", "lead:0xEE", "reply_1E lead:EE 1\n"},
        {"reply_1e", "lead:ee", "reply_1E lead:EE 1\n"},
        {"reply_0E", "code:F", "reply_0E code:0F 1\n"},
        {"reply_02", "result:31", "reply_02 result:31 1\n"},
        {"sub_cpu:reply_F0", "sum:0xf4", "sub_cpu:reply_F0 sum:F4 1\n"},
        {"reply_1E", "len:40", "reply_1E len:40 1\n"},  // a length is a number
        {"reply_1E", "len:0x28", "reply_1E len:40 1\n"},
    };
    for (const auto& row : rows) {
        ASSERT_EQ(vreader({"fail", reader_, "--clear"}).status, 0);
        const ProcessResult result = vreader({"fail", reader_, row.request, row.effect});
        EXPECT_EQ(result.status, 0) << row.request << " " << row.effect << ": " << result.err;
        EXPECT_EQ(vreader({"fail", reader_, "--list"}).out, row.listed);
    }
    // The lower-case code and the bare hexadecimal byte reach the panel's reply.
    ASSERT_EQ(vreader({"fail", reader_, "--clear"}).status, 0);
    ASSERT_EQ(vreader({"fail", reader_, "reply_0a", "lead:ef"}).status, 0);
    const ProcessResult run = vreader({"run", reader_, "probe", "tty"}, {{"VREADER_PROGRAMS", VREADER_TEST_PROGRAMS}});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string journal = vreader({"journal", reader_}).out;
    EXPECT_NE(journal.find("\"request\":\"panel_reply\",\"code\":10,\"bytes\":\"EF"), std::string::npos) << journal;
    EXPECT_EQ(vreader({"fail", reader_, "--list"}).out, "");
}

// The help names every effect a fault can have.
TEST_F(LauncherTest, FailHelpListsEveryEffect)
{
    const std::string help = vreader({"fail", "--help"}).out;
    for (const char* effect : {"ERRNO", "short", "lost", "reject", "corrupt", "check", "empty", "fail", "silent",
                               "split:N", "lead:B", "code:B", "result:B", "len:N", "sum:B"})
        EXPECT_NE(help.find(std::string("\n  ") + effect), std::string::npos) << effect;
}

TEST_F(LauncherTest, AtFailsTheNthRequestOfTheNextRun)
{
    reader();
    const std::map<std::string, std::string> programs{{"VREADER_PROGRAMS", VREADER_TEST_PROGRAMS}};
    struct Row {
        std::string at, effect;
        int status;           // of the probe: 99 when it cannot read the screen
        std::string injected;  // the request journaled with "injected":true
        std::string mode = {};  // the probe's argument
        bool refused = false;   // request N cannot take the effect
    };
    // With "tty" the probe's requests 4 to 10 are the UART's open, tcgetattr,
    // tcsetattr, write, the panel_request and panel_reply lines, and close.
    const Row rows[] = {
        {"1", "ENODEV", 99, "open"},
        {"2", "EIO", 99, "FBIOGET_VSCREENINFO"},
        {"3", "EBADF", 0, "close"},
        {"9", "EIO", 0, ""},                 // the probe makes three requests
        {"1", "short", 0, "", "", true},     // none of them moves data
        {"5", "EIO", 0, "tcgetattr", "tty"},
        {"6", "ENOTTY", 0, "tcsetattr", "tty"},
        {"8", "EIO", 0, "", "tty", true},    // a line the panel's model adds
        {"5", "short", 0, "", "tty", true},  // not the write after it
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.at + " " + row.effect + " " + row.mode);
        ASSERT_EQ(vreader({"journal", reader_, "--clear"}).status, 0);
        ASSERT_EQ(vreader({"fail", reader_, "--at", row.at, row.effect}).status, 0);
        EXPECT_EQ(vreader({"fail", reader_, "--list"}).out, "at " + row.at + " " + row.effect + "\n");
        const ProcessResult run = vreader({"run", reader_, "probe", row.mode}, programs);
        EXPECT_EQ(run.status, row.status) << run.err;
        EXPECT_EQ(run.err.find("injected nothing") != std::string::npos, row.refused) << run.err;
        const std::string journal = vreader({"journal", reader_}).out;
        const auto injected = journal.find("\"injected\":true");
        if (row.injected.empty()) {
            EXPECT_EQ(injected, std::string::npos) << journal;
        } else {
            const auto line_start = journal.rfind('\n', injected) + 1;
            EXPECT_NE(journal.find("\"seq\":" + row.at + ",\"request\":\"" + row.injected + "\"", line_start),
                      std::string::npos)
                << journal;
        }
        EXPECT_EQ(vreader({"fail", reader_, "--list"}).out, "") << row.at;
        EXPECT_EQ(vreader({"run", reader_, "probe"}, programs).status, 0) << row.at;
    }
    // A new --at replaces the one set; other faults stay beside it.
    EXPECT_EQ(vreader({"fail", reader_, "--at", "4", "EIO"}).status, 0);
    EXPECT_EQ(vreader({"fail", reader_, "mmcblk2:read", "short"}).status, 0);
    EXPECT_EQ(vreader({"fail", reader_, "--at", "2", "5"}).status, 0);
    EXPECT_EQ(vreader({"fail", reader_, "--list"}).out, "at 2 EIO\nmmcblk2:read short 1\n");
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--at", "0", "EIO"}, {"--at", "x", "EIO"}, {"--at", "3", "lost"},
          {"--at", "3", "EWHATEVER"}, {"--at", "3"}, {"--at", "3", "EIO", "2"}}) {
        std::vector<std::string> arguments{"fail", reader_};
        arguments.insert(arguments.end(), bad.begin(), bad.end());
        EXPECT_EQ(vreader(arguments).status, 2) << bad[1];
    }
}

// A run that ends with an "at" fault not reached, or a counted fault set
// when it started with firings left, says so after the program, one line
// each, and keeps the program's status.
TEST_F(LauncherTest, ARunSaysWhichFaultsItLeftUnfired)
{
    reader();
    const std::map<std::string, std::string> programs{{"VREADER_PROGRAMS", VREADER_TEST_PROGRAMS}};
    struct Row {
        std::vector<std::vector<std::string>> faults;
        std::string mode;  // the probe's argument
        int status;
        std::string said;  // after the probe's own standard error
    };
    // The probe opens fb0, asks it FBIOGET_VSCREENINFO and closes it.
    const Row rows[] = {
        {{{"--at", "999", "EIO"}}, "", 0, "vreader run: 'at 999 EIO' left unfired: the run ended before its request 999\n"},
        {{{"--at", "2", "EIO"}}, "", 99, ""},
        {{{"--at", "3", "EIO"}}, "none", 0,
         "vreader run: 'at 3 EIO' left unfired: the program made no request; it stays set for the next run\n"},
        {{{"ttymxc1:read", "EIO", "2", "--after", "1"}, {"fb0:close", "EIO", "3"}}, "", 0,
         "vreader run: fault 'ttymxc1:read EIO' left unfired: 2 of 2 still to fire, after 1 more pass\n"
         "vreader run: fault 'fb0:close EIO' left unfired: 2 of 3 still to fire\n"},
        {{{"fb0:close", "EIO"}, {"mmcblk2:read", "EIO", "always"}}, "", 0, ""},
    };
    for (const Row& row : rows) {
        ASSERT_EQ(vreader({"fail", reader_, "--clear"}).status, 0);
        for (const auto& fault : row.faults) {
            std::vector<std::string> arguments{"fail", reader_};
            arguments.insert(arguments.end(), fault.begin(), fault.end());
            ASSERT_EQ(vreader(arguments).status, 0) << fault[0];
        }
        SCOPED_TRACE(row.faults[0][0] + " " + row.faults[0][1] + " " + row.mode);
        const ProcessResult run = vreader({"run", reader_, "probe", row.mode}, programs);
        EXPECT_EQ(run.status, row.status) << run.err;
        const std::string own = row.status == 0 && row.mode.empty() ? "probe done\n" : "";
        EXPECT_EQ(run.err, own + row.said);
    }

    // A launcher that was stopped stops the program it waits for.
    ASSERT_EQ(vreader({"fail", reader_, "--clear"}).status, 0);
    ASSERT_EQ(vreader({"fail", reader_, "ttymxc1:read", "EIO"}).status, 0);
    std::vector<std::string> command = testing_support::emulator_prefix();
    command.insert(command.end(), {VREADER_EXECUTABLE, "run", reader_, "probe", "hold"});
    testing_support::Spawned holder(
        command, {{"VREADER_PROGRAMS", VREADER_TEST_PROGRAMS}, {"VREADER_EMULATOR", READER_TEST_EMULATOR}},
        dir_.file("hold.out"));
    const std::string pc_file = reader_ + "/ttyGS0.pc";
    ASSERT_TRUE(testing_support::eventually([&] { return std::filesystem::exists(pc_file); }, 30)) << holder.output();
    ASSERT_EQ(::kill(holder.pid(), SIGTERM), 0);
    EXPECT_EQ(holder.wait(30), 128 + SIGTERM);
    EXPECT_TRUE(testing_support::eventually([&] { return !std::filesystem::exists(pc_file); }, 30));
    EXPECT_NE(holder.output().find("vreader run: fault 'ttymxc1:read EIO' left unfired: 1 of 1 still to fire\n"),
              std::string::npos)
        << holder.output();
}

// The PC's end of the gadget serial port is published only while a program
// holds the port: a program that a signal ended takes it back as well.
}  // namespace
