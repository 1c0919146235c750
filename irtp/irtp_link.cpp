// The serial link to the touch-panel controller; what each operation does is
// described in irtp_link.hpp.
#include "irtp/irtp_link.hpp"

#include "platform/sys.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace irtp {
namespace {

constexpr int kAttempts = 3;
constexpr useconds_t kPulseUs = 50;
constexpr useconds_t kWatchPollUs = 10;
// A wait gives up on a line it failed to read this many times: a port
// without modem lines refuses every look (ENOTTY), and a failing driver
// must not keep a wait, and its messages, going for ever.
constexpr int kLineFailures = 10;

constexpr std::uint8_t active_cmd[2] = {protocol::touch_panel::kActive, 0x00};
constexpr std::uint8_t setconfig_cmd[5] = {protocol::touch_panel::kSetConfig, 0x01, 0x00, 0x00, 0x00};
constexpr std::uint8_t deactive_cmd[2] = {protocol::touch_panel::kDeactive, 0x00};
constexpr std::uint8_t touchstart_cmd[2] = {protocol::touch_panel::kTouchStart, 0x00};

enum class Line { Low, High, Unread };

// One look at the watched line. Only the first failure of a wait is
// printed; `failures` counts them all.
Line watched_line(int fd, const char* who, int& failures)
{
    int bits = 0;
    if (sys::ioctl(fd, TIOCMGET, &bits) < 0) {
        if (failures++ == 0)
            std::printf("%s:ioctl error(%d)\n", who, errno);
        return Line::Unread;
    }
    return (bits & TIOCM_CTS) != 0 ? Line::Low : Line::High;
}

// One set-up exchange: pulse, write, one read of up to 32 bytes, checked
// for the lead byte, the code and a result of 0.
int setup_exchange(int fd, const std::uint8_t* request, std::size_t length)
{
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        // A request that did not go out whole is not answered as sent.
        if (!request_command(fd, request, length)) {
            cts_off(fd);
            continue;
        }
        std::uint8_t reply[kSetupBuffer] = {};
        if (read_waiting(fd, reply, sizeof reply) < 0)
            return -1;
        if (reply[0] == kLeadByte && reply[2] == request[0] && reply[3] == 0)
            return 0;
        cts_off(fd);
    }
    return -1;
}

}  // namespace

void setline(int fd, tcflag_t character_size, speed_t speed)
{
    struct termios settings {};
    sys::tcgetattr(fd, &settings);
    // The speed lives in c_cflag too: it is set after c_cflag is replaced.
    settings.c_cflag = character_size | CREAD | HUPCL | CLOCAL;
    settings.c_iflag = IGNBRK | IGNPAR;
    settings.c_oflag = 0;
    settings.c_lflag = 0;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    sys::cfsetispeed(&settings, speed);
    sys::cfsetospeed(&settings, speed);
    sys::tcsetattr(fd, TCSANOW, &settings);
}

int cts_on(int fd)
{
    int bits = TIOCM_RTS;
    return sys::ioctl(fd, TIOCMBIS, &bits);
}

int cts_off(int fd)
{
    int bits = TIOCM_RTS;
    return sys::ioctl(fd, TIOCMBIC, &bits);
}

int rts_wait_high(int fd, int timeout_ms)
{
    const long long limit = static_cast<long long>(timeout_ms) * 100;
    long long count = 0;
    int failures = 0;
    for (;;) {
        // A failed look is a poll like any other: it waits its turn and
        // counts toward the limit.
        if (watched_line(fd, "rts_wait_high", failures) == Line::High)
            return 0;
        if (failures >= kLineFailures)
            return -1;
        sys::usleep(kWatchPollUs);
        if (++count > limit)
            return -1;
    }
}

int rts_wait_low(int fd)
{
    int failures = 0;
    for (;;) {
        if (watched_line(fd, "rts_wait_low", failures) == Line::Low)
            return 0;
        if (failures >= kLineFailures)
            return -1;
    }
}

bool request_command(int fd, const std::uint8_t* request, std::size_t length)
{
    cts_on(fd);
    sys::usleep(kPulseUs);
    cts_off(fd);
    return sys::write(fd, request, length) == static_cast<ssize_t>(length);
}

int send_active(int fd) { return setup_exchange(fd, active_cmd, 1); }

int send_setconfig(int fd) { return setup_exchange(fd, setconfig_cmd, sizeof setconfig_cmd); }

int send_deactive(int fd)
{
    if (!request_command(fd, deactive_cmd, 1))
        return -1;
    std::uint8_t reply[kSetupBuffer] = {};
    return read_waiting(fd, reply, sizeof reply) < 0 ? -1 : 0;
}

int send_touchstart(int fd) { return request_command(fd, touchstart_cmd, 1) ? 0 : -1; }

sys::UniqueFd initialize()
{
    sys::UniqueFd port(sys::open(IR_DEVICE, O_RDWR | O_SYNC));
    if (!port.valid())
        return port;
    setline(port.get(), CS8, B115200);
    cts_off(port.get());
    return port;
}

ssize_t read_waiting(int fd, std::uint8_t* buffer, std::size_t size)
{
    struct pollfd wait {
        fd, POLLIN, 0
    };
    int ready;
    do
        ready = sys::poll(&wait, 1, kReadWaitMs);
    while (ready < 0 && errno == EINTR);
    if (ready < 0)
        return -1;
    if (ready == 0)
        return 0;
    return sys::read(fd, buffer, size);
}

bool read_reply(int fd, const ReplyRequest& request, std::uint8_t (&buffer)[kReplyBuffer], int& exit_status)
{
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        std::memset(buffer, 0, sizeof buffer);
        // A request cut short would be read by the panel as another one (a
        // pulse request without its level), and its answer taken for this.
        if (!request_command(fd, request.bytes, request.length))
            continue;
        std::size_t received = 0;
        bool failed = false;
        for (;;) {
            const ssize_t n = read_waiting(fd, buffer + received, sizeof buffer - received);
            if (n < 0) {
                const int error = errno;
                std::printf("NG");
                std::printf("read error(%d)\n", error);
                exit_status = request.read_error_status;
                return false;
            }
            // A silent panel, a wrong lead byte, or a frame announced longer
            // than the buffer can hold fails the attempt.
            if (n == 0 || buffer[0] != kLeadByte) {
                failed = true;
                break;
            }
            received += static_cast<std::size_t>(n);
            if (received >= 2 && buffer[1] + 2u > sizeof buffer) {
                failed = true;
                break;
            }
            if (received >= 2 && received >= buffer[1] + 2u)
                break;
        }
        if (!failed && buffer[2] == request.code)
            return true;
        if (!failed && request.report_format_error)
            std::printf("data format error(%x)\n", buffer[2]);
    }
    std::printf("NG");
    std::printf("retry over:packet %x,%x,%x\n", buffer[0], buffer[1], buffer[2]);
    exit_status = 1;
    return false;
}

}  // namespace irtp
