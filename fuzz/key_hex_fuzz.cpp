// devprov's key-blob input on any text: the hex digits read from a
// descriptor as from standard input, into a buffer of exactly the room the
// identity area leaves, so that a byte written past it shows.
//
// Input: two bytes for the room (little-endian, below 1024 so that the text
// can both fit and overflow it), then the text.
#include "rawdata/devprov/devprov.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::uint32_t room = (data[0] | std::uint32_t{data[1]} << 8) % 1024;
    data += 2;
    size -= 2;

    const int fd = memfd_create("key", 0);
    if (fd < 0 || (size != 0 && write(fd, data, size) != static_cast<ssize_t>(size)) || lseek(fd, 0, SEEK_SET) != 0)
        std::abort();
    const auto key = std::make_unique<std::uint8_t[]>(room);
    std::uint32_t count = 0;
    if (devprov::read_hex_key(fd, key.get(), room, count) && count > room)
        std::abort();
    close(fd);
    return 0;
}
