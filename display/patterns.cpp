// Gray fills and test patterns in the image buffer.
#include "display/drawing.hpp"
#include "display/graytable.hpp"
#include "display/morvane_state.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace morvane {
namespace {

// "16": sixteen bands of the gray table, lightest first; vertical stripes
// across a row, or horizontal bands down the screen.
void make_gray_bands(int vertical)
{
    const size_t pixels = picture_pixels();
    const int band = vertical ? (ResY + 15) / 16 : (ResX + 15) / 16;
    for (size_t i = 0; i < pixels; ++i) {
        const int position = vertical ? static_cast<int>(i / ResX) : static_cast<int>(i % ResX);
        imgbuf[i] = epdc::graytable[std::min(position / band, 15)];
    }
}

// "4" and "2" fill bytes, not pixels: the first ResX * ResY bytes are ResX
// runs of ResY bytes, each run cut into `segments` equal segments whose
// byte values step by `step`.
void make_byte_segments(int segments, int step)
{
    auto* bytes = reinterpret_cast<uint8_t*>(imgbuf);
    const size_t available = imgbuf_len;
    const int segment = (ResY + segments - 1) / segments;
    for (int run = 0; run < ResX; ++run) {
        for (int i = 0; i < ResY; ++i) {
            const size_t at = static_cast<size_t>(run) * ResY + i;
            if (at >= available)
                return;
            bytes[at] = static_cast<uint8_t>(i / segment * step);
        }
    }
}

}  // namespace

void makegray(int level)
{
    if (level < 0 || level > 15) {
        std::printf("Invalid gray level!!\n");
        return;
    }
    std::printf("gray level = %d\n", level);
    std::fill_n(imgbuf, picture_pixels(), epdc::graytable[level]);
}

void makepattern(const char* name, int vertical)
{
    if (std::strcmp(name, "16") == 0) {
        std::printf("pattern 16\n");
        make_gray_bands(vertical);
    } else if (std::strcmp(name, "4") == 0) {
        make_byte_segments(4, 0x44);
    } else if (std::strcmp(name, "2") == 0) {
        make_byte_segments(2, 0xFF);
    }
}

}  // namespace morvane
