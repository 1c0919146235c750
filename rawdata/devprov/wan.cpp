// The WAN modem's identities, asked with AT commands on its command port.
#include "platform/sys.hpp"
#include "platform/unique_fd.hpp"
#include "rawdata/devprov/devprov.hpp"

#include <fcntl.h>
#include <strings.h>

#include <cctype>
#include <cstdio>
#include <cstring>

namespace devprov {
namespace {

constexpr int kLineMax = 255;
constexpr int kByteWait = 500;  // ms for each byte of an answer
// An exchange ends within this time whatever comes: a modem that keeps
// sending lines that are neither OK nor ERROR would hold it for ever.
constexpr unsigned long kExchangeTicks = 10UL * 100;  // times() counts 1/100 s (USER_HZ)
// A modem that keeps answering "ERROR" to "AT" is not going to come round.
constexpr int kHandshakeErrors = 10;

constexpr int weight[11] = {3, 4, 5, 6, 7, 2, 3, 4, 5, 6, 7};

unsigned long ticks() { return static_cast<unsigned long>(sys::times(nullptr)); }

// One answer line, NUL-terminated: false on a time-out, a failed read, or
// once the exchange begun at `start` has had its time. The tick count is a
// 32-bit clock_t on the reader: the difference is taken unsigned, so its
// wrap ends no exchange early and none never.
bool read_line(int fd, char (&line)[kLineMax + 1], unsigned long start)
{
    std::memset(line, 0, sizeof line);
    for (int n = 0; n < kLineMax;) {
        if (ticks() - start >= kExchangeTicks)
            return false;
        pollfd waiting{fd, POLLIN, 0};
        if (sys::poll(&waiting, 1, kByteWait) <= 0)
            return false;
        char c;
        if (sys::read(fd, &c, 1) != 1)
            return false;
        line[n++] = c;
        if (c == '\n')
            break;
    }
    return true;
}

// Upper case, and every blank a NUL; false when nothing else is left.
bool normalise(char (&line)[kLineMax + 1])
{
    bool any = false;
    for (char& c : line) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\0')
            continue;
        if (std::isspace(u)) {
            c = '\0';
        } else {
            c = static_cast<char>(std::toupper(u));
            any = true;
        }
    }
    return any;
}

int digit_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper >= 'A' && upper <= 'Y')
        return upper - 'A' + 10;
    return 0;
}

}  // namespace

int execute_command(int fd, const char* command, const char* prefix, char* destination, int length)
{
    if (destination != nullptr)
        std::memset(destination, 0, static_cast<std::size_t>(length));
    char text[kLineMax + 1];
    const int written = std::snprintf(text, sizeof text, "%s\r\n", command);
    const std::size_t size = written < 0 ? 0 : std::strlen(text);
    // A command cut short is not the command: the modem would answer
    // whatever the next write completes.
    if (sys::write(fd, text, size) != static_cast<ssize_t>(size))
        return -1;

    const std::size_t prefix_length = prefix != nullptr ? std::strlen(prefix) : 0;
    const unsigned long start = ticks();
    for (;;) {
        char line[kLineMax + 1];
        if (!read_line(fd, line, start))
            return -1;
        if (!normalise(line))
            continue;
        if (line[0] == 'O' && line[1] == 'K')
            return destination != nullptr ? length : 1;
        if (std::strstr(line, "ERROR") != nullptr)
            return 0;
        if (prefix != nullptr && destination != nullptr && ::strncasecmp(line, prefix, prefix_length) == 0 &&
            prefix_length + static_cast<std::size_t>(length) <= kLineMax)
            std::memcpy(destination, line + prefix_length, static_cast<std::size_t>(length));
    }
}

int command_after_handshake(int fd, const char* command, const char* prefix, char* destination, int length)
{
    for (int errors = 0;;) {
        const int answer = execute_command(fd, "AT", nullptr, nullptr, 0);
        if (answer > 0)
            break;
        if (answer < 0 || ++errors == kHandshakeErrors)
            return -1;
    }
    return execute_command(fd, command, prefix, destination, length) > 0 ? 0 : -1;
}

int sequence_command(const char* device, const char* command, const char* prefix, char* destination, int length)
{
    std::memset(destination, 0xFF, static_cast<std::size_t>(length));
    const sys::UniqueFd port(sys::open(device, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!port.valid())
        return -1;
    // Only a terminal is a modem's port: a command written to anything else
    // (a block device named by mistake) would land in its data.
    termios settings{};
    if (sys::tcgetattr(port.get(), &settings) != 0)
        return -1;
    return command_after_handshake(port.get(), command, prefix, destination, length);
}

int wan_set_meid(std::uint8_t* area, const char* device)
{
    if (!in_area(kMeid, kMeidLength))
        return -1;
    return sequence_command(device, "AT$QCGSN", "0x00", reinterpret_cast<char*>(area + kMeid), kMeidLength);
}

void psn_check_digits(const char* psn, char digits[2])
{
    int v[12];
    int s1 = 0;
    for (int i = 0; i < 11; ++i) {
        v[i] = digit_value(psn[i]);
        s1 += weight[i] * (40 - v[i]);
    }
    const int d1 = (s1 % 11) % 10;
    v[11] = d1;
    int s2 = 0;
    for (int i = 0; i < 12; ++i)
        s2 += (i % 2 == 1) ? 2 * v[i] : v[i];
    const int d2 = s2 % 10;
    digits[0] = static_cast<char>('0' + d1);
    digits[1] = static_cast<char>('0' + d2);
}

int wan_set_psn(std::uint8_t* area, const char* device)
{
    if (!in_area(kPsn, kPsnLength) || !in_area(kPsnCheckDigit, 2))
        return -1;
    char* psn = reinterpret_cast<char*>(area + kPsn);
    if (sequence_command(device, "AT^PSN", "^PSN:", psn, kPsnLength) != 0)
        return -1;
    psn_check_digits(psn, reinterpret_cast<char*>(area + kPsnCheckDigit));
    return 0;
}

}  // namespace devprov
