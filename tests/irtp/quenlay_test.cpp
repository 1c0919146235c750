// quenlay bridging the virtual touch panel to a PC: the test holds the PC's
// end of the gadget serial port, a real pseudo-terminal, as a PC program
// would hold its COM port.
#include "tests/support/virtual_reader.hpp"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

constexpr double kStartSeconds = 30;
constexpr double kReplySeconds = 120;  // the ten virtual seconds of a wait take real time under emulation

std::string hex(const std::string& bytes)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (const char c : bytes) {
        text += kDigits[static_cast<unsigned char>(c) >> 4];
        text += kDigits[static_cast<unsigned char>(c) & 0x0F];
    }
    return text;
}

class Quenlay : public ::testing::Test {
protected:
    void start()
    {
        bridge_ = reader_.start("quenlay", {});
        const std::string pc_file = reader_.path() + "/ttyGS0.pc";
        ASSERT_TRUE(eventually([&] { return read_file(pc_file).ends_with("\n"); }, kStartSeconds))
            << bridge_->output();
        open_pc();
    }

    void open_pc()
    {
        std::string path = read_file(reader_.path() + "/ttyGS0.pc");
        path.pop_back();
        pc_ = ::open(path.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(pc_, 0) << path;
        struct termios raw {};
        ::tcgetattr(pc_, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(pc_, TCSANOW, &raw);
    }

    // A panel that fails while bridged ends the bridge as one that fails at
    // once: its message after what was said before, and status 0.
    void ends_on_a_panel_error(const std::string& said_before)
    {
        reader_.fail("ttymxc1:read", "EIO");
        send("\x01");
        EXPECT_EQ(bridge_->wait(kReplySeconds), 0);
        EXPECT_EQ(bridge_->output(), said_before + "quenlay: IR read error(5)\n");
    }

    void TearDown() override
    {
        if (pc_ >= 0)
            ::close(pc_);
    }

    void send(const std::string& bytes) const { ASSERT_EQ(::write(pc_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size())); }

    // What the PC receives until `count` bytes are there.
    std::string receive(size_t count, double seconds = kReplySeconds) const
    {
        std::string got;
        eventually(
            [&] {
                struct pollfd wait {pc_, POLLIN, 0};
                while (::poll(&wait, 1, 0) > 0) {
                    char buffer[256];
                    const ssize_t n = ::read(pc_, buffer, sizeof buffer);
                    if (n <= 0)
                        break;
                    got.append(buffer, static_cast<size_t>(n));
                }
                return got.size() >= count;
            },
            seconds);
        return hex(got);
    }

    std::vector<long long> uart_writes() const
    {
        std::vector<long long> counts;
        for (const JsonLine& write : reader_.requests("write"))
            if (!write.has("path"))  // the gadget's writes name their port
                counts.push_back(write.number("count"));
        return counts;
    }

    VirtualReader reader_{{"--emmc-size", "16M"}};
    std::unique_ptr<Spawned> bridge_;
    int pc_ = -1;
};

// The status record, active (after an active command) or not.
std::string status(bool active)
{
    return std::string("EE1D1E0200010007010300") + (active ? "01" : "00") + "D204000000001964C858022003002F003F0A0C";
}

TEST_F(Quenlay, RepliesComeBackUnchangedAndChunksAreSixteenBytesAtMost)
{
    start();
    send("\x01");
    EXPECT_EQ(receive(4), "EE020100");
    send("\x1E");
    EXPECT_EQ(receive(31), status(true));
    // Twenty bytes of a command the panel does not know: passed on in two chunks.
    send(std::string(20, '\x55'));
    EXPECT_TRUE(eventually([&] { return uart_writes().size() >= 4; }, kReplySeconds));
    EXPECT_EQ(uart_writes(), (std::vector<long long>{1, 1, 16, 4}));
    // Before touch start nothing waits for the panel's line.
    EXPECT_TRUE(reader_.requests("TIOCMGET").empty());
    for (const JsonLine& read : reader_.requests("read")) {
        if (!read.has("path")) {
            EXPECT_EQ(read.number("count"), 1024) << "the panel's output is read 1 KiB at a time";
        }
    }
    EXPECT_EQ(bridge_->wait(0), -1) << "still running";
    ends_on_a_panel_error("");
}

TEST_F(Quenlay, AWriteCutShortIsFollowedByTheRest)
{
    start();
    // To the panel: the configuration command's five bytes, the first write
    // taking two of them; to the PC: the reply, the first write taking half.
    reader_.fail("ttymxc1:write", "short");
    send(std::string("\x03\x01\x00\x00\x00", 5));
    EXPECT_EQ(receive(4), "EE020300");
    reader_.fail("ttyGS0:write", "short");
    send("\x01");
    EXPECT_EQ(receive(4), "EE020100");
    // A write that takes nothing is a failed one: its byte is lost, not sent again.
    reader_.fail("ttymxc1:write", "short");
    const std::size_t before = uart_writes().size();
    send("\x0A");
    EXPECT_TRUE(eventually([&] { return uart_writes().size() > before; }, kReplySeconds));
    send("\x01");
    EXPECT_EQ(receive(4), "EE020100");
}

TEST_F(Quenlay, AfterTouchStartEachChunkWaitsForThePanelsLine)
{
    ASSERT_EQ(reader_.vreader({"set", reader_.path(), "panel.rts", "low"}).status, 0);
    start();
    // 04 in the middle of a chunk is passed on but starts nothing.
    send(std::string("\x55\x04", 2));
    EXPECT_EQ(receive(24), "EE0604012C019001EE06040236019A01EE06040036019A01");
    send("\x1E");
    EXPECT_EQ(receive(31), status(false));
    EXPECT_EQ(bridge_->output(), "");

    send("\x04");
    EXPECT_EQ(receive(24), "EE0604012C019001EE06040236019A01EE06040036019A01");
    // The panel holds its line low: ten virtual seconds, then the 1E goes all the same.
    send("\x1E");
    EXPECT_EQ(receive(31), status(false));
    EXPECT_EQ(bridge_->output(), "RTS HIGH wait timeout(before send)(1000)\n");

    // With the line high the chunk goes at once; a failed look at the line
    // is said and looked at again.
    ASSERT_EQ(reader_.vreader({"set", reader_.path(), "panel.rts", "high"}).status, 0);
    reader_.fail("ttymxc1:TIOCMGET", "EIO");
    send("\x0A");
    EXPECT_EQ(receive(11), "EE090A0200010007010300");
    const std::string said = "RTS HIGH wait timeout(before send)(1000)\nrts_wait_high:ioctl error(5)\n";
    EXPECT_EQ(bridge_->output(), said);
    ends_on_a_panel_error(said);
}

TEST_F(Quenlay, APanelLineThatCannotBeReadHoldsNoChunkForEver)
{
    start();
    send("\x04");
    EXPECT_EQ(receive(24), "EE0604012C019001EE06040236019A01EE06040036019A01");
    // A port without modem lines refuses every line request (ENOTTY), a
    // failing driver keeps failing: each wait gives up after ten looks, says
    // so once, and the chunk goes as after a time-out.
    const struct {
        std::vector<std::string> requests;
        const char* error;
        std::string command;
        std::string reply;
        std::string said;
    } rows[] = {
        {{"TIOCMGET", "TIOCMBIS", "TIOCMBIC"}, "ENOTTY", "\x1E", status(false), "rts_wait_high:ioctl error(25)\n"},
        {{"TIOCMGET"}, "EIO", "\x0A", "EE090A0200010007010300", "rts_wait_high:ioctl error(5)\n"},
    };
    std::string output;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.error);
        ASSERT_EQ(reader_.vreader({"fail", reader_.path(), "--clear"}).status, 0);
        for (const std::string& request : row.requests)
            reader_.fail("ttymxc1:" + request, row.error, "always");
        reader_.clear_journal();
        send(row.command);
        EXPECT_EQ(receive(row.reply.size() / 2), row.reply);
        output += row.said + "RTS HIGH wait timeout(before send)(0)\n";
        EXPECT_EQ(bridge_->output(), output);
        EXPECT_EQ(reader_.requests("TIOCMGET").size(), 10u);
    }
}

TEST_F(Quenlay, ThePcClosingItsPortDoesNotEndTheBridge)
{
    start();
    ::close(pc_);
    pc_ = -1;
    open_pc();
    send("\x0A");
    EXPECT_EQ(receive(11), "EE090A0200010007010300");
    EXPECT_EQ(bridge_->wait(0), -1);
}

TEST_F(Quenlay, EndsOnAPanelReadErrorAndRefusesToStartWithoutItsPorts)
{
    reader_.fail("ttymxc1:read", "EIO");
    ProcessResult result = reader_.run("quenlay", {});
    EXPECT_EQ(result.out, "quenlay: IR read error(5)\n");
    EXPECT_EQ(result.status, 0);
    for (const std::string port : {"ttyGS0", "ttymxc1"}) {
        reader_.fail(port + ":open", "ENOENT");
        result = reader_.run("quenlay", {});
        EXPECT_EQ(result.out, "") << port;
        EXPECT_EQ(result.status, 255) << port;
    }
    // Whatever opened was closed again.
    size_t opened = 0;
    for (const JsonLine& open : reader_.requests("open"))
        opened += open.number("result") >= 0;
    EXPECT_EQ(reader_.requests("close").size(), opened);
}

}  // namespace
