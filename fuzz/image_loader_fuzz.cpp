// Feeds arbitrary files to the image loader, at arbitrary positions on small
// screens. The buffer is exactly the picture's size, so any write outside it
// or read outside the file is caught by AddressSanitizer.
#include "display/drawing.hpp"
#include "display/morvane_state.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

int file_descriptor()
{
    static const int fd = memfd_create("image", 0);
    return fd;
}

int32_t take_int(const uint8_t*& data, size_t& size)
{
    int32_t value = 0;
    if (size >= 4) {
        std::memcpy(&value, data, 4);
        data += 4;
        size -= 4;
    }
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Screen 1..64 x 1..64, a position that may be far off the screen, then
    // the file itself.
    const int32_t geometry = take_int(data, size);
    const int32_t left = take_int(data, size);
    const int32_t top = take_int(data, size);
    morvane::ResX = 1 + (geometry & 0x3F);
    morvane::ResY = 1 + (geometry >> 8 & 0x3F);
    std::vector<uint16_t> buffer(static_cast<size_t>(morvane::ResX) * morvane::ResY);
    morvane::imgbuf = buffer.data();
    morvane::imgbuf_len = buffer.size() * 2;

    const int fd = file_descriptor();
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        return 0;
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    int width = 0;
    int height = 0;
    morvane::load_img_file(path, left, top, &width, &height);
    morvane::imgbuf = nullptr;
    return 0;
}
