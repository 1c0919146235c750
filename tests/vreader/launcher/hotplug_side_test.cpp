// The devices a USB hot-plug daemon works with, driven through the launcher:
// kernel uevent messages sent at a program's bind and while it runs,
// and a poll fault that stops a waiting program cleanly.
#include "tests/support/process.hpp"

#include <gtest/gtest.h>

#include <csignal>

namespace {

using testing_support::ProcessResult;

class HotplugSideTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(vreader({"init", reader_}).status, 0); }

    std::map<std::string, std::string> environment() const
    {
        return {{"VREADER_PROGRAMS", VREADER_TEST_PROGRAMS}, {"VREADER_EMULATOR", READER_TEST_EMULATOR}};
    }

    std::vector<std::string> command(const std::vector<std::string>& arguments) const
    {
        std::vector<std::string> words = testing_support::emulator_prefix();
        words.push_back(VREADER_EXECUTABLE);
        words.insert(words.end(), arguments.begin(), arguments.end());
        return words;
    }

    ProcessResult vreader(const std::vector<std::string>& arguments, const std::string& input = {}) const
    {
        return testing_support::run_process(command(arguments), environment(), input);
    }

    void send(const std::vector<std::string>& arguments) const
    {
        std::vector<std::string> words{"uevent", reader_};
        words.insert(words.end(), arguments.begin(), arguments.end());
        const ProcessResult result = vreader(words);
        ASSERT_EQ(result.status, 0) << result.err;
    }

    // The listener left running, with a receive buffer of `buffer` bytes.
    std::unique_ptr<testing_support::Spawned> listen(const std::string& buffer, const std::string& count,
                                                     const std::vector<std::string>& more = {}) const
    {
        std::vector<std::string> arguments{"run", reader_, "uevent_listen", buffer, count};
        arguments.insert(arguments.end(), more.begin(), more.end());
        auto program = std::make_unique<testing_support::Spawned>(command(arguments), environment(),
                                                                  dir_.file("listen.out"));
        EXPECT_TRUE(testing_support::eventually(
            [&] { return program->output().find("ready\n") != std::string::npos; }, 10));
        return program;
    }

    testing_support::TempDir dir_;
    std::string reader_ = dir_.file("reader");
};

TEST_F(HotplugSideTest, MessagesKeepTheirBoundariesBeforeAndDuringARun)
{
    testing_support::write_file(dir_.file("raw"), std::string("raw\0bytes", 9));
    // Nobody listens yet: a message is lost, unless it is sent at the next
    // bind. Those: a real message, malformed ones, a 64 KiB one, a file's
    // bytes.
    const ProcessResult lost = vreader({"uevent", reader_, "ACTION=add", "DEVPATH=/lost"});
    EXPECT_EQ(lost.status, 0);
    EXPECT_NE(lost.err.find("no program listens"), std::string::npos) << lost.err;
    send({"--at-bind", "ACTION=add", "DEVPATH=/devices/platform/mmc/mmcblk0/mmcblk0p4", "SUBSYSTEM=block"});
    send({"--at-bind", "--no-header", "--no-final-nul", "", "no equals sign"});
    send({"--at-bind", "ACTION=change", "DEVPATH=/d", "--pad", "65536"});
    send({"--at-bind", "--raw", dir_.file("raw")});
    auto program = listen("65536", "7");
    // Sent while it waits in poll; one is longer than its buffer.
    send({"--header", "remove@/x", "ACTION=remove"});
    send({"ACTION=add", "DEVPATH=/d", "--pad", "70000"});
    send({"ACTION=add", "DEVPATH=/after"});
    ASSERT_EQ(program->wait(20), 0) << program->output();
    // The listener shows a message's first 80 bytes.
    const auto xs = [](std::size_t n) { return std::string(n, 'x'); };
    EXPECT_EQ(program->output(),
              "ready\n"
              "119: add@/devices/platform/mmc/mmcblk0/mmcblk0p4|ACTION=add|DEVPATH=/devices/platform\n"
              "15: |no equals sign\n"
              "65536: change@/d|ACTION=change|DEVPATH=/d|PAD=" + xs(41) + "\n"
              "9: raw|bytes\n"
              "24: remove@/x|ACTION=remove|\n"
              "65536: add@/d|ACTION=add|DEVPATH=/d|PAD=" + xs(47) + "\n"
              "37: add@/after|ACTION=add|DEVPATH=/after|\n"
              "exit handler ran\n");
    const std::string journal = testing_support::read_file(reader_ + "/journal.jsonl");
    EXPECT_NE(journal.find(R"("strings":"\\0no equals sign")"), std::string::npos) << journal;
    EXPECT_NE(journal.find(R"("length":70000,)"), std::string::npos);
    EXPECT_NE(journal.find(R"("truncated":true)"), std::string::npos);

    // Refused command lines.
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"uevent", reader_}, {"uevent", reader_, "--raw", dir_.file("raw"), "A=1"},
          {"uevent", reader_, "A=1", "--pad", "3"}, {"uevent", reader_, "--bogus"}})
        EXPECT_EQ(vreader(bad).status, 2) << bad.back();
}

TEST_F(HotplugSideTest, APollFaultStopsAWaitingProgramCleanlyAndASignalDoesNot)
{
    auto program = listen("4096", "100");
    ASSERT_EQ(vreader({"fail", reader_, "poll", "EIO"}).status, 0);
    EXPECT_EQ(program->wait(10), 3);
    EXPECT_EQ(program->output(), "ready\npoll: Input/output error\nexit handler ran\n");

    program = listen("4096", "100");
    program.reset();  // SIGTERM: no exit handlers
    EXPECT_EQ(testing_support::read_file(dir_.file("listen.out")), "ready\n");
}

TEST_F(HotplugSideTest, SwitchEventsFromStandardInputAndTheGadgetInState)
{
    auto program = listen("4096", "2", {"-usb"});
    ProcessResult result = vreader({"touch", reader_, "-"}, "device 0\nevent 5 12 1\nevent 1 5 12 0\n");
    ASSERT_EQ(result.status, 0) << result.err;
    ASSERT_EQ(program->wait(10), 0) << program->output();
    EXPECT_EQ(program->output(), "ready\nevent0 5 12 1\nevent1 5 12 0\nexit handler ran\n");
    EXPECT_EQ(vreader({"touch", reader_, "-"}, "event 5 12\n").status, 2);

    ASSERT_EQ(vreader({"init", reader_, "--force", "--luns", "2"}).status, 0);
    for (const auto& [key, value] :
         {std::pair<std::string, std::string>{"usb_modules", "ehci-hcd g_android"}, {"lun1.ro", "1"}})
        ASSERT_EQ(vreader({"set", reader_, key, value}).status, 0) << key;
    EXPECT_EQ(vreader({"set", reader_, "lun2.ro", "1"}).status, 2);
    const std::string state = vreader({"state", reader_}).out;
    EXPECT_NE(state.find("gadget_luns=2\nlun0=ejected ro=0\nlun1=ejected ro=1\n"
                         "usb_modules=ehci-hcd g_android\ntmp_nodes=none\n"),
              std::string::npos)
        << state;
}

}  // namespace
