// The reader's three serial ports as the kernel's tty layer keeps them: the
// settings a new port starts with, what a port with no line of its own (the
// gadget's) keeps of the settings a program applies, and a non-blocking read
// with nothing to read.
#include "tests/vreader/model/reader_fixture.hpp"

#include <termios.h>

namespace vreader_test {
namespace {

class TerminalTest : public ReaderTest {
protected:
    int open_port(const char* path, int flags = O_RDWR | O_NOCTTY)
    {
        const int fd = sys::open(path, flags);
        EXPECT_GE(fd, 0) << path << ": " << std::strerror(errno);
        return fd;
    }

    termios settings(int fd)
    {
        termios t{};
        EXPECT_EQ(sys::tcgetattr(fd, &t), 0) << std::strerror(errno);
        return t;
    }
};

constexpr const char* kPorts[] = {"/dev/ttymxc1", "/dev/ttyGS0", "/dev/ttyUSB0"};
constexpr tcflag_t kLine = CBAUD | CSIZE | CSTOPB | PARENB | CREAD | HUPCL | CLOCAL | CRTSCTS;

TEST_F(TerminalTest, NewPortsStartAsTheirDriversStartThem)
{
    // The serial core, the USB serial layer and the gadget serial driver
    // all start a port at 9600 8N1 without modem control, cooked.
    for (const char* path : kPorts) {
        const int fd = open_port(path);
        const termios t = settings(fd);
        EXPECT_EQ(t.c_cflag & kLine, tcflag_t{B9600 | CS8 | CREAD | HUPCL | CLOCAL}) << path;
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO), tcflag_t{ICANON | ECHO}) << path;
        EXPECT_EQ(sys::close(fd), 0);
    }
}

TEST_F(TerminalTest, OnlyAPortWithALineTakesItsSpeedAndFraming)
{
    const struct {
        const char* path;
        bool takes_line;
    } ports[] = {{"/dev/ttymxc1", true}, {"/dev/ttyGS0", false}};
    for (const auto& port : ports) {
        const int fd = open_port(port.path);
        termios wanted = settings(fd);
        ::cfmakeraw(&wanted);
        wanted.c_cflag = (wanted.c_cflag & ~(CSIZE | CLOCAL)) | CS7 | PARENB;
        ::cfsetispeed(&wanted, B38400);
        ::cfsetospeed(&wanted, B38400);
        ASSERT_EQ(sys::tcsetattr(fd, TCSANOW, &wanted), 0) << port.path;
        const termios kept = settings(fd);
        EXPECT_EQ(::cfgetospeed(&kept), port.takes_line ? speed_t{B38400} : speed_t{B9600}) << port.path;
        EXPECT_EQ(kept.c_cflag & (CSIZE | PARENB), port.takes_line ? tcflag_t{CS7 | PARENB} : tcflag_t{CS8})
            << port.path;
        // What the tty layer handles itself changes on every port.
        EXPECT_EQ(kept.c_cflag & CLOCAL, 0u) << port.path;
        EXPECT_EQ(kept.c_lflag, wanted.c_lflag) << port.path;
        EXPECT_EQ(sys::close(fd), 0);
    }
}

TEST_F(TerminalTest, AReadWithNothingToReadFailsAsTheOpenAsked)
{
    const struct {
        const char* path;
        int flags;
        int error;
    } reads[] = {
        {"/dev/ttymxc1", O_RDWR | O_NONBLOCK, EAGAIN},
        {"/dev/ttyGS0", O_RDWR | O_NONBLOCK, EAGAIN},
        {"/dev/ttyUSB0", O_RDWR | O_NONBLOCK, EAGAIN},
        // Blocking, in a program with no other thread: only a signal ends it.
        {"/dev/ttymxc1", O_RDWR, EINTR},
        {"/dev/ttyUSB0", O_RDWR, EINTR},
    };
    for (const auto& r : reads) {
        const int fd = open_port(r.path, r.flags | O_NOCTTY);
        char byte = 0;
        EXPECT_EQ(sys::read(fd, &byte, 1), -1) << r.path;
        EXPECT_EQ(errno, r.error) << r.path << " flags " << r.flags;
        EXPECT_EQ(sys::close(fd), 0);
    }
}

}  // namespace
}  // namespace vreader_test
