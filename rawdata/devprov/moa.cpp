// The device key blob: hex text from standard input into the area, and
// back out raw.
#include "platform/standard_output.hpp"
#include "platform/sys.hpp"
#include "rawdata/devprov/devprov.hpp"

#include <cctype>
#include <cerrno>
#include <cstdio>

namespace devprov {
namespace {

constexpr char kCtrlD = 0x04;

std::uint32_t read_size(const std::uint8_t* area)
{
    const std::uint8_t* p = area + kMoaSize;
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

void write_size(std::uint8_t* area, std::uint32_t size)
{
    for (int i = 0; i < 4; ++i)
        area[kMoaSize + i] = static_cast<std::uint8_t>(size >> (8 * i));
}

// How many key bytes fit between 0x3004 and the end of the area.
std::uint32_t key_room() { return L_emmc_id_area_size > kMoaKey ? L_emmc_id_area_size - kMoaKey : 0; }

int nibble(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    return std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
}

}  // namespace

int moa_set_device_key(std::uint8_t* area, const char*)
{
    if (!in_area(kMoaSize, 4))
        return -1;
    write_size(area, 0);
    std::printf("READY\n");
    std::fflush(stdout);

    std::uint32_t count = 0;
    if (!read_hex_key(0, area + kMoaKey, key_room(), count))
        return -1;
    write_size(area, count);
    return count >= 1 ? 0 : -1;
}

bool read_hex_key(int fd, std::uint8_t* key, std::uint32_t room, std::uint32_t& count)
{
    count = 0;
    bool high_pending = false;
    for (;;) {
        char c;
        if (sys::read(fd, &c, 1) != 1)
            return true;
        const auto u = static_cast<unsigned char>(c);
        if (std::iscntrl(u)) {
            if (c == kCtrlD)
                return true;
            continue;
        }
        if (!std::isxdigit(u))
            return false;
        if (!high_pending) {
            // A blob that would run past the area is refused whole.
            if (count == room)
                return false;
            key[count] = static_cast<std::uint8_t>(nibble(c) << 4);
            high_pending = true;
        } else {
            key[count] = static_cast<std::uint8_t>(key[count] | nibble(c));
            ++count;
            high_pending = false;
        }
    }
}

int moa_get_device_key(std::uint8_t* area, const char*)
{
    if (!in_area(kMoaSize, 4))
        return -1;
    const std::uint32_t size = read_size(area);
    if (size == 0 || size > key_room())
        return -1;
    const ssize_t written = sys::write(1, area + kMoaKey, size);
    if (written == static_cast<ssize_t>(size))
        return 0;
    sys::report_standard_output_error(written < 0 ? errno : EIO);
    return -1;
}

}  // namespace devprov
