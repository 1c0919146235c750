// quenlay: hands the touch-panel controller to a PC. Bytes pass unchanged
// between the panel UART and the USB gadget serial port; the bridge asserts
// the panel's request line for the PC and, once the PC has started touch
// reporting, waits for the panel's line to be high before each transfer.
#include "irtp/irtp_link.hpp"
#include "platform/sys.hpp"
#include "platform/unique_fd.hpp"

#include <fcntl.h>

#include <cerrno>
#include <cstdio>

namespace {

constexpr const char* GADGET_DEVICE = "/dev/ttyGS0";
using protocol::touch_panel::kTouchStart;
constexpr int kLineWaitMs = 10000;
constexpr size_t kToPanelChunk = 16;
constexpr size_t kToPcChunk = 1024;
// A port that keeps reading 0 bytes is hung up: read it again, but not in a
// busy loop.
constexpr useconds_t kAfterEmptyReadUs = 100000;

// The ports' numbers, which the forwarding thread reads; fixed before it
// starts.
struct Context {
    int uart = -1;
    int gadget = -1;
};

// The ports themselves, owned by main: they are closed when it ends, the
// UART first.
struct Ports {
    sys::UniqueFd gadget;
    sys::UniqueFd uart;
};

// Bytes pass whole: a write that took only part of them is followed by one
// for the rest, so neither side loses the tail of a request or a reply.
// The count written, or -1 when a write failed or took nothing.
ssize_t write_all(int fd, const std::uint8_t* buffer, size_t count)
{
    size_t done = 0;
    while (done < count) {
        const ssize_t n = sys::write(fd, buffer + done, count - done);
        if (n <= 0)
            return -1;
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

ssize_t send_to_pc(const Context& context, const std::uint8_t* buffer, size_t count)
{
    return write_all(context.gadget, buffer, count);
}

// PC to panel, on its own thread: each chunk from the PC goes to the panel
// with the line asserted, after touch start only once the panel's line is
// high (or the wait ran out).
void* gadget_serial(void* argument)
{
    const Context& context = *static_cast<const Context*>(argument);
    bool first = true;
    std::uint8_t buffer[kToPanelChunk];
    for (;;) {
        const ssize_t n = sys::read(context.gadget, buffer, sizeof buffer);
        if (n <= 0)
            return nullptr;
        if (!first) {
            const clock_t start = sys::times(nullptr);
            if (irtp::rts_wait_high(context.uart, kLineWaitMs) == -1) {
                // The tick count is a 32-bit clock_t on the reader and wraps
                // after months of uptime: the difference is taken unsigned,
                // where the wrap is well defined.
                const unsigned long ticks =
                    static_cast<unsigned long>(sys::times(nullptr)) - static_cast<unsigned long>(start);
                std::printf("RTS HIGH wait timeout(before send)(%d)\n", static_cast<int>(ticks));
            }
        }
        irtp::cts_on(context.uart);
        write_all(context.uart, buffer, static_cast<size_t>(n));
        if (buffer[0] == kTouchStart)
            first = false;
    }
}

int initialize(Context& context, Ports& ports)
{
    context.uart = -1;
    context.gadget = -1;
    ports.gadget.reset(sys::open(GADGET_DEVICE, O_RDWR));
    if (!ports.gadget.valid())
        return -1;
    context.gadget = ports.gadget.get();
    irtp::setline(context.gadget, CS8, B38400);
    ports.uart.reset(sys::open(irtp::IR_DEVICE, O_RDWR));
    if (!ports.uart.valid())
        return -1;
    context.uart = ports.uart.get();
    irtp::setline(context.uart, CS8, B115200);
    irtp::cts_off(context.uart);
    return sys::start_detached_thread(gadget_serial, &context) != 0 ? -1 : 0;
}

}  // namespace

int main()
{
    // The forwarding thread may still run while main ends: the context
    // outlives both.
    static Context context;
    Ports ports;
    // A bridge runs for long: each message is seen as it is printed.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (initialize(context, ports) != 0)
        return -1;
    std::uint8_t buffer[kToPcChunk];
    for (;;) {
        const ssize_t n = sys::read(context.uart, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            std::printf("quenlay: IR read error(%d)\n", errno);
            break;
        }
        if (n == 0) {
            sys::usleep(kAfterEmptyReadUs);
            continue;
        }
        send_to_pc(context, buffer, static_cast<size_t>(n));
    }
    return 0;
}
