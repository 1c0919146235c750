// usbhotplugd run as a process against a virtual reader: its options, the
// LUNs it attaches at start and ejects at exit, the uevents and switch
// events it follows while it runs, and how it fails.
#include "tests/support/kernel_events.hpp"
#include "tests/support/virtual_reader.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>

using namespace testing_support;

namespace {

using Strings = std::vector<std::string>;

// The daemon run to its end: its first poll that waits fails, as a stop
// would (a message sent at its bind is read first).
ProcessResult run_until_poll(const VirtualReader& reader, const Strings& arguments)
{
    reader.fail("poll", "EIO");
    return reader.run("usbhotplugd", arguments);
}

class Hotplug : public ::testing::Test {
protected:
    // The gadget's LUNs and the nodes kept under /tmp, as `vreader state`
    // shows them: "lun0=/tmp/lun0 179:68 ro=0", "tmp_node=/tmp/lun0 ...".
    Strings lines(const std::string& prefix) const
    {
        Strings found;
        for (const std::string& line : split_lines(reader_.vreader({"state", reader_.path()}).out))
            if (line.starts_with(prefix))
                found.push_back(line);
        return found;
    }
    Strings luns() const { return lines("lun"); }
    std::string lun(int n) const { return reader_.state("lun" + std::to_string(n)); }

    ProcessResult run_once(const Strings& arguments) const { return run_until_poll(reader_, arguments); }
    std::unique_ptr<Spawned> start(const Strings& arguments = {}) const
    {
        auto daemon = reader_.start("usbhotplugd", arguments, "daemon.out");
        // The attach at start done: the reader's three LUNs each have a device.
        const auto attached = [&] {
            return lun(0).starts_with("/tmp/lun0") && lun(1).starts_with("/tmp/lun1") && lun(2).starts_with("/tmp/lun2");
        };
        EXPECT_TRUE(eventually(attached, 20)) << daemon->output();
        return daemon;
    }
    // Stops a running daemon the clean way: its poll fails.
    void stop(Spawned& daemon) const
    {
        reader_.fail("poll", "EIO");
        EXPECT_EQ(daemon.wait(20), 255) << daemon.output();
    }
    ProcessResult uevent(const Strings& strings) const
    {
        Strings arguments = {"uevent", reader_.path()};
        arguments.insert(arguments.end(), strings.begin(), strings.end());
        return reader_.vreader(arguments);
    }
    void block(const std::string& action, unsigned minor) const
    {
        EXPECT_EQ(uevent(mmc_block_uevent(action, minor)).status, 0);
    }
    void switch_event(int code, int value) const
    {
        const std::string trace = "device 0\nevent 5 " + std::to_string(code) + " " + std::to_string(value) + "\n";
        write_file(reader_.temp_file("switch.trace"), trace);
        EXPECT_EQ(reader_.vreader({"touch", reader_.path(), reader_.temp_file("switch.trace")}).status, 0);
    }

    static bool host_has(const char* path)
    {
        struct stat status {};
        return ::stat(path, &status) == 0;
    }

    VirtualReader reader_;
    const bool host_lun0_ = host_has("/tmp/lun0");
};

const Strings kEjected = {"lun0=ejected ro=0", "lun1=ejected ro=0", "lun2=ejected ro=1"};

TEST_F(Hotplug, OptionsSetTheLunsAttachedAtStartAndEjectedAtExit)
{
    struct Row {
        Strings arguments;
        Strings nodes;  // the nodes made under /tmp
        Strings ro;     // each LUN's read-only flag afterwards
    };
    const std::vector<Row> rows = {
        {{}, {"/tmp/lun0 block 0600 179:68", "/tmp/lun1 block 0600 179:0", "/tmp/lun2 block 0600 179:71"},
         {"0", "0", "1"}},
        {{"-lun1", "-5"}, {"/tmp/lun0 block 0600 179:68", "/tmp/lun1 block 0600 179:5", "/tmp/lun2 block 0600 179:71"},
         {"0", "1", "1"}},
        {{"--lun0", "0", "-lun2", "0x10"},
         {"/tmp/lun0 block 0600 179:0", "/tmp/lun1 block 0600 179:0", "/tmp/lun2 block 0600 179:16"},
         {"0", "0", "0"}},
        {{"-lun0", "010", "-bogus", "-lun1", "7"},
         {"/tmp/lun0 block 0600 179:8", "/tmp/lun1 block 0600 179:0", "/tmp/lun2 block 0600 179:71"},
         {"0", "0", "1"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.arguments));
        const ProcessResult result = run_once(row.arguments);
        EXPECT_EQ(result.status, 255);
        EXPECT_NE(result.err.find("poll: Input/output error"), std::string::npos) << result.err;
        Strings nodes;
        for (const std::string& line : lines("tmp_node="))
            nodes.push_back(line.substr(9));
        EXPECT_EQ(nodes, row.nodes);
        const Strings after = luns();
        ASSERT_EQ(after.size(), 3u);
        for (int n = 0; n < 3; ++n)
            EXPECT_EQ(after[n], "lun" + std::to_string(n) + "=ejected ro=" + row.ro[n]);
    }
    EXPECT_NE(run_once({"-bogus"}).err.find("bogus"), std::string::npos) << "the parser's own complaint";

    // -off ejects at once and exits 0, also after -lun options.
    std::unique_ptr<Spawned> daemon = start();
    stop(*daemon);
    reader_.clear_journal();
    const ProcessResult off = reader_.run("usbhotplugd", {"-lun0", "3", "-off", "-lun1", "4"});
    EXPECT_EQ(off.status, 0) << off.err;
    EXPECT_EQ(reader_.requests("store").size(), 3u) << "a NUL to each LUN's file, nothing else";
    EXPECT_TRUE(reader_.requests("mknod").empty());
}

TEST_F(Hotplug, AGadgetWithTwoLunsStopsAfterLunOneAndOneWithElevenAfterLunEight)
{
    VirtualReader two({"--luns", "2"});
    EXPECT_EQ(run_until_poll(two, {}).status, 255);
    EXPECT_EQ(two.requests("mknod").size(), 2u);
    EXPECT_EQ(two.state("lun0"), "ejected ro=0");
    EXPECT_EQ(two.state("lun1"), "ejected ro=0");
    EXPECT_EQ(two.state("gadget_luns"), "2");

    // Neither the attach at start nor an event for a device no LUN has
    // reaches past LUN 8.
    VirtualReader eleven({"--luns", "11"});
    Strings event = {"uevent", eleven.path(), "--at-bind"};
    for (const std::string& text : mmc_block_uevent("add", 99))
        event.push_back(text);
    EXPECT_EQ(eleven.vreader(event).status, 0);
    EXPECT_EQ(run_until_poll(eleven, {}).status, 255);
    EXPECT_EQ(eleven.requests("read").size(), 1u) << "the event was read";
    for (const auto& open : eleven.requests("open")) {
        EXPECT_EQ(open.text("path").find("/lun9/"), std::string::npos) << open.text("path");
        EXPECT_EQ(open.text("path").find("/lun10/"), std::string::npos) << open.text("path");
    }
}

TEST_F(Hotplug, AnEventForDeviceZeroLeavesTheLunsWithoutADeviceAlone)
{
    VirtualReader four({"--luns", "4"});
    auto daemon = four.start("usbhotplugd", {}, "daemon.out");
    // The attach at start done: each LUN's "ro", and for the three that
    // have a device "file" emptied before it and attached after it.
    EXPECT_TRUE(eventually([&] { return four.requests("store").size() == 10; }, 20)) << daemon->output();
    four.clear_journal();
    for (const char* action : {"ACTION=add", "ACTION=remove"})
        EXPECT_EQ(four.vreader({"uevent", four.path(), action, "DEVPATH=/devices/null", "SUBSYSTEM=block", "MAJOR=0",
                                "MINOR=0", "DEVNAME=null"})
                      .status,
                  0);
    Strings whole_card = {"uevent", four.path()};
    for (const std::string& text : mmc_block_uevent("remove", 0))
        whole_card.push_back(text);
    EXPECT_EQ(four.vreader(whole_card).status, 0);
    EXPECT_TRUE(eventually([&] { return four.state("lun1") == "ejected ro=0"; }, 20)) << daemon->output();
    EXPECT_EQ(four.requests("store").size(), 2u) << "lun1's ro and file, nothing for lun3";
    EXPECT_EQ(four.state("lun3"), "ejected ro=0");
}

TEST_F(Hotplug, BlockAndGadgetEventsEjectAndReattach)
{
    std::unique_ptr<Spawned> daemon = start();
    EXPECT_EQ(lun(1), "/tmp/lun1 179:0 ro=0");

    block("remove", 68);
    EXPECT_TRUE(eventually([&] { return lun(0) == "ejected ro=0"; }, 20));
    block("add", 68);
    EXPECT_TRUE(eventually([&] { return lun(0) == "/tmp/lun0 179:68 ro=0"; }, 20));

    // Events that change nothing, each followed by one that does, so that
    // the daemon has surely seen them.
    const std::vector<Strings> no_change = {
        {"ACTION=remove", "DEVPATH=/devices/x", "SUBSYSTEM=block", "MAJOR=8", "MINOR=1", "DEVNAME=sda1"},
        {"ACTION=remove", "DEVPATH=/devices/x", "SUBSYSTEM=block", "MINOR=68", "DEVNAME=mmcblk0p4"},
        {"ACTION=change", "DEVPATH=/devices/g", "SUBSYSTEM=usb_composite", "ENABLED=0", "STATE=online"},
        {"ACTION=change", "DEVPATH=/devices/g", "SUBSYSTEM=usb_composite", "ENABLED=1", "STATE=offline"},
        {"ACTION=remove", "DEVPATH=/devices/x", "SUBSYSTEM=input", "MAJOR=179", "MINOR=68", "DEVNAME=x"},
    };
    for (const Strings& event : no_change) {
        SCOPED_TRACE(event[2] + " " + event[3]);
        block("remove", 0);
        EXPECT_TRUE(eventually([&] { return lun(1) == "ejected ro=0"; }, 20));
        EXPECT_EQ(uevent(event).status, 0);
        block("add", 0);
        EXPECT_TRUE(eventually([&] { return lun(1) == "/tmp/lun1 179:0 ro=0"; }, 20));
        EXPECT_EQ(lun(0), "/tmp/lun0 179:68 ro=0");
    }

    // The gadget coming online attaches every LUN again. (LUN 2 goes by an
    // event whose MINOR is padded far beyond a number's length.)
    block("remove", 68);
    EXPECT_EQ(uevent({"ACTION=remove", "DEVPATH=/devices/p71", "SUBSYSTEM=block", "MAJOR=179",
                      "MINOR=" + std::string(70, ' ') + "71", "DEVNAME=mmcblk0p71"})
                  .status,
              0);
    EXPECT_TRUE(eventually([&] { return lun(0) == "ejected ro=0" && lun(2) == "ejected ro=1"; }, 20));
    EXPECT_EQ(uevent({"ACTION=change", "DEVPATH=/devices/virtual/android_usb/android0", "SUBSYSTEM=usb_composite",
                      "FUNCTION=mass_storage", "ENABLED=1", "STATE=online"})
                  .status,
              0);
    EXPECT_TRUE(eventually([&] { return lun(0) == "/tmp/lun0 179:68 ro=0" && lun(2) == "/tmp/lun2 179:71 ro=1"; }, 20));

    stop(*daemon);
    EXPECT_EQ(luns(), kEjected);
}

TEST_F(Hotplug, MalformedUeventsAreReadWithinTheirBytes)
{
    std::unique_ptr<Spawned> daemon = start();
    write_file(reader_.temp_file("noise.bin"), std::string("SUBSYSTEM=block\0ACTION=remove\0MAJOR=179\0MINOR=6", 47));
    const std::vector<Strings> malformed = {
        {"--no-header", "SUBSYSTEM=block", "ACTION=remove", "MAJOR=179", "MINOR=68", "DEVNAME"},
        {"--no-final-nul", "SUBSYSTEM=block", "ACTION=remove", "DEVNAME=x", "MAJOR=179", "MINOR=6"},
        {"", "", "junk", "SUBSYSTEM=", "="},
        {"--pad", "65536", "SUBSYSTEM=usb_composite", "ENABLED=1"},
        {"--pad", "70000", "SUBSYSTEM=block"},
        {"--raw", reader_.temp_file("noise.bin")},
    };
    for (const Strings& event : malformed)
        EXPECT_EQ(uevent(event).status, 0);
    // The daemon still follows events, and none of those changed a LUN.
    block("remove", 0);
    EXPECT_TRUE(eventually([&] { return lun(1) == "ejected ro=0"; }, 20)) << daemon->output();
    EXPECT_EQ(lun(0), "/tmp/lun0 179:68 ro=0");
    EXPECT_EQ(daemon->wait(0), -1);
    // The 64 KiB buffer took the first message whole and cut the second.
    std::vector<long long> lengths;
    for (const JsonLine& received : reader_.requests("read"))
        lengths.push_back(received.number("result"));
    EXPECT_NE(std::find(lengths.begin(), lengths.end(), 65536), lengths.end());
    EXPECT_EQ(std::count(lengths.begin(), lengths.end(), 65536), 2);
}

TEST_F(Hotplug, TheSwitchLoadsAndUnloadsTheUsbModules)
{
    std::unique_ptr<Spawned> daemon = start({"-usb"});
    EXPECT_EQ(reader_.state("usb_modules"), "none");
    // A uevent first: the switch's device, idle while it is read, stays
    // watched.
    block("add", 99);
    const auto uevent_read = [&] {
        for (const JsonLine& read : reader_.requests("read"))
            if (read.text("path") == "socket:uevent")
                return true;
        return false;
    };
    EXPECT_TRUE(eventually(uevent_read, 20)) << daemon->output();
    switch_event(12, 1);
    EXPECT_TRUE(eventually([&] { return reader_.state("usb_modules") == "ehci-hcd g_android"; }, 20))
        << daemon->output();
    switch_event(11, 0);
    switch_event(12, 0);
    EXPECT_TRUE(eventually([&] { return reader_.state("usb_modules") == "none"; }, 20));
    const std::vector<JsonLine> commands = reader_.requests("system");
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].text("command"), "modprobe ehci-hcd; modprobe g_android");
    EXPECT_EQ(commands[1].text("command"), "modprobe -r ehci-hcd; modprobe -r g_android");
    stop(*daemon);

    // The shells that run modprobe inherit none of the daemon's descriptors.
    for (const JsonLine& line : reader_.journal()) {
        const std::string request = line.text("request");
        if (request == "socket") {
            EXPECT_NE(line.number("type") & SOCK_CLOEXEC, 0) << "the uevent socket";
        } else if (request == "open") {
            EXPECT_NE(line.number("flags") & O_CLOEXEC, 0) << line.text("path");
        }
    }
}

TEST_F(Hotplug, FailuresAndAKilledDaemon)
{
    struct Row {
        const char* request;
        const char* message;
    };
    for (const Row& row : {Row{"uevent:socket", "socket: Too many open files"},
                           Row{"uevent:bind", "bind: Too many open files"}}) {
        reader_.fail(row.request, "EMFILE");
        const ProcessResult result = reader_.run("usbhotplugd", {});
        EXPECT_EQ(result.status, 255);
        EXPECT_EQ(result.err, std::string(row.message) + "\n");
        EXPECT_TRUE(reader_.requests("mknod").empty());
    }

    // A read error is reported and the daemon goes on.
    std::unique_ptr<Spawned> daemon = start();
    reader_.fail("uevent:read", "EIO");
    block("remove", 0);
    block("remove", 68);
    EXPECT_TRUE(eventually([&] { return lun(0) == "ejected ro=0"; }, 20)) << daemon->output();
    EXPECT_NE(daemon->output().find("read: Input/output error"), std::string::npos);

    // Killed, it skips the eject: the LUN it attached stays attached.
    daemon.reset();
    EXPECT_EQ(lun(2), "/tmp/lun2 179:71 ro=1");

    // Killed while LUN 2 was writable: the next daemon, for which LUN 2 is
    // read-only, empties it first, as the kernel keeps the flag of a LUN
    // that holds a medium.
    daemon = start({"-lun2", "65"});
    daemon.reset();
    ASSERT_EQ(lun(2), "/tmp/lun2 179:65 ro=0");
    daemon = start();
    EXPECT_TRUE(eventually([&] { return lun(2) == "/tmp/lun2 179:71 ro=1"; }, 20)) << lun(2);
    stop(*daemon);

    // None of the nodes it made reached the host.
    EXPECT_EQ(host_has("/tmp/lun0"), host_lun0_);
}

// -usb watches the switch on event0 and the next eight input devices, no
// more: the poll set holds the uevent socket and nine devices.
TEST(HotplugInputs, NineInputDevicesAtMostAreWatched)
{
    const VirtualReader reader({"--touch-devices", "9"});
    EXPECT_EQ(run_until_poll(reader, {"-usb"}).status, 255);
    Strings opened;
    for (const JsonLine& open : reader.requests("open"))
        if (open.text("path").starts_with("/dev/input/"))
            opened.push_back(open.text("path"));
    Strings nine;
    for (int n = 0; n < 9; ++n)
        nine.push_back("/dev/input/event" + std::to_string(n));
    EXPECT_EQ(opened, nine);
}

// Messages read at once after the bind: the subsystem is found in any
// string, the first included (LUN 0's "file" is then stored four times:
// emptied and named at start, emptied by the event and at exit); an empty
// message is no read error.
TEST(HotplugMessages, ASubsystemInTheFirstStringCountsAndAnEmptyMessageIsNoError)
{
    const struct {
        Strings strings;
        std::size_t lun0_stores;
    } rows[] = {
        {{"SUBSYSTEM=block", "ACTION=remove", "DEVNAME=mmcblk0p4", "MAJOR=179", "MINOR=68"}, 4},
        {{}, 3},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.strings));
        const VirtualReader reader;
        Strings event = {"uevent", reader.path(), "--at-bind", "--no-header"};
        event.insert(event.end(), row.strings.begin(), row.strings.end());
        EXPECT_EQ(reader.vreader(event).status, 0);
        const ProcessResult result = run_until_poll(reader, {});
        EXPECT_EQ(result.status, 255);
        EXPECT_EQ(result.err, "poll: Input/output error\n");
        std::size_t stores = 0;
        for (const JsonLine& store : reader.requests("store"))
            stores += store.text("path").ends_with("/lun0/file") ? 1 : 0;
        EXPECT_EQ(stores, row.lun0_stores);
    }
}

}  // namespace
