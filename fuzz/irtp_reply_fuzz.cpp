// The touch-panel tools' reply collection on any bytes from the UART: the
// real read path over a pipe, up to three attempts, then both list
// splitters on the buffer it collected.
//
// Input: one byte that picks the request (pulse, LED check or status), then
// what the panel sends.
#include "irtp/axis_lists.hpp"
#include "irtp/irtp_link.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace {

constexpr std::uint8_t kCodes[] = {0x0F, 0x0E, 0x1E};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The tools print their verdicts on stdout; the fuzzer reports on stderr.
    const int null = open("/dev/null", O_WRONLY);
    if (null < 0 || dup2(null, STDOUT_FILENO) < 0)
        std::abort();
    close(null);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t code = kCodes[data[0] % sizeof kCodes];
    ++data;
    --size;

    // The whole reply is in the pipe before the collection starts, and the
    // writing end is closed: a reply that runs out reads as a silent panel
    // at once instead of after the one-second wait.
    int ends[2];
    if (pipe(ends) != 0 || (size != 0 && write(ends[1], data, size) != static_cast<ssize_t>(size)))
        std::abort();
    close(ends[1]);

    // The request's pulse and write go to the pipe's reading end and fail,
    // which the collection ignores as it does on the UART.
    const std::uint8_t request[2] = {code, 0x00};
    std::uint8_t reply[irtp::kReplyBuffer];
    int exit_status = 0;
    irtp::read_reply(ends[0], {request, 1, code, 2, true}, reply, exit_status);
    close(ends[0]);
    irtp::split_pulse_reply(reply);
    irtp::split_led_reply(reply);
    return 0;
}
