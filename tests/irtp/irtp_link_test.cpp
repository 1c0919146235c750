// The link's waits for the panel's line on a real pseudo-terminal: it has no
// modem lines, and the kernel refuses every line request with ENOTTY, as it
// does on the USB gadget serial port. A wait must end all the same.
#include "irtp/irtp_link.hpp"
#include "platform/unique_fd.hpp"
#include "tests/support/child_exit.hpp"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <string>

namespace {

struct Outcome {
    int status;
    std::string printed;
};

// Runs `wait` in a child that prints into a pipe. A wait that never ends is
// stopped by an alarm, and one that floods its output by the pipe closing
// after 4 KiB, so neither holds up the test.
Outcome in_child(const std::function<int()>& wait)
{
    int out[2];
    if (::pipe(out) != 0)
        return {-1, "no pipe"};
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        ::alarm(10);
        const int result = wait();
        std::fflush(stdout);
        testing_support::end_child(result == -1 ? 0 : 1);
    }
    ::close(out[1]);
    std::string printed;
    char buffer[512];
    ssize_t n;
    while (printed.size() < 4096 && (n = ::read(out[0], buffer, sizeof buffer)) > 0)
        printed.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = -1;
    ::waitpid(child, &status, 0);
    return {status, printed};
}

// A pseudo-terminal: `port` is the line the link drives, `master` the
// other end; -1 where it could not be had.
struct Pty {
    Pty()
    {
        if (master.valid() && ::grantpt(master.get()) == 0 && ::unlockpt(master.get()) == 0)
            port_fd.reset(::open(::ptsname(master.get()), O_RDWR | O_NOCTTY));
        port = port_fd.get();
    }

    sys::UniqueFd master{::posix_openpt(O_RDWR | O_NOCTTY)};
    sys::UniqueFd port_fd;
    int port = -1;
};

TEST(LineWaits, APortWithoutModemLinesEndsEachWaitWithOneMessage)
{
    Pty pty;
    ASSERT_GE(pty.port, 0);
    const int port = pty.port;

    const struct {
        const char* who;
        std::function<int()> wait;
    } waits[] = {
        {"rts_wait_high", [&] { return irtp::rts_wait_high(port, 10000); }},
        {"rts_wait_low", [&] { return irtp::rts_wait_low(port); }},
    };
    for (const auto& w : waits) {
        const Outcome outcome = in_child(w.wait);
        EXPECT_TRUE(WIFEXITED(outcome.status) && WEXITSTATUS(outcome.status) == 0) << w.who << " did not end with -1";
        EXPECT_EQ(outcome.printed, std::string(w.who) + ":ioctl error(25)\n");
    }
    // The driven line's requests fail alike, and say nothing.
    EXPECT_EQ(irtp::cts_on(port), -1);
    EXPECT_EQ(irtp::cts_off(port), -1);
}

// What each operation no tool calls puts on the line, on a pseudo-terminal
// made raw by the link's own settings; a set-up exchange takes the answer
// already waiting.
TEST(LinkRequests, TheOperationsNoToolCallsSendTheirWholeCommand)
{
    Pty pty;
    ASSERT_GE(pty.port, 0);
    const int port = pty.port;
    irtp::setline(port, CS8, B115200);

    using Bytes = std::string;
    const struct {
        const char* name;
        std::function<int()> send;
        Bytes answer, sent;
    } requests[] = {
        {"setconfig", [&] { return irtp::send_setconfig(port); }, Bytes("\xEE\x02\x03\x00", 4),
         Bytes("\x03\x01\x00\x00\x00", 5)},
        {"deactive", [&] { return irtp::send_deactive(port); }, Bytes("\xEE\x02\x00\x07", 4), Bytes(1, '\0')},
        {"deactive, unanswered", [&] { return irtp::send_deactive(port); }, Bytes(), Bytes(1, '\0')},
        {"touchstart", [&] { return irtp::send_touchstart(port); }, Bytes(), Bytes(1, '\x04')},
    };
    for (const auto& r : requests) {
        ASSERT_EQ(::write(pty.master.get(), r.answer.data(), r.answer.size()), static_cast<ssize_t>(r.answer.size()));
        EXPECT_EQ(r.send(), 0) << r.name;
        Bytes sent;
        char buffer[64];
        struct pollfd wait {
            pty.master.get(), POLLIN, 0
        };
        while (::poll(&wait, 1, 100) == 1) {
            const ssize_t n = ::read(pty.master.get(), buffer, sizeof buffer);
            if (n <= 0)
                break;
            sent.append(buffer, static_cast<std::size_t>(n));
        }
        EXPECT_EQ(sent, r.sent) << r.name;
    }
    // A wait that ends unanswered says so, whatever errno held before it.
    std::uint8_t reply[8];
    errno = EINTR;
    EXPECT_EQ(irtp::read_waiting(port, reply, sizeof reply), 0);
    // With the other end gone a write fails (EIO), and so does the request.
    pty.master.reset();
    EXPECT_EQ(irtp::send_deactive(port), -1);
    EXPECT_EQ(irtp::send_touchstart(port), -1);
}

}  // namespace
