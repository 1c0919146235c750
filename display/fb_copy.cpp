// Copies a rectangle of the image buffer (row stride ResX) into framebuffer
// memory (row stride xres_virtual). Pixels past the virtual screen, and any
// that would fall outside the mapping or the image buffer, are skipped.
#include "display/drawing.hpp"
#include "display/morvane_state.hpp"

#include <algorithm>

namespace morvane {

void copy_img_to_buf(uint16_t* destination, int left, int top, int width, int height, const fb_var_screeninfo& var)
{
    if (destination == nullptr || imgbuf == nullptr)
        return;
    const int64_t stride = var.xres_virtual;
    const int64_t row_begin = std::max<int64_t>(top, 0);
    const int64_t row_end = std::min<int64_t>(int64_t{top} + height, var.yres_virtual);
    const int64_t col_begin = std::max<int64_t>(left, 0);
    const int64_t col_end = std::min<int64_t>(int64_t{left} + width, stride);
    const auto fb_pixels = static_cast<int64_t>(mmaplen / 2);
    const auto img_pixels = static_cast<int64_t>(imgbuf_len / 2);

    for (int64_t r = row_begin; r < row_end; ++r) {
        for (int64_t c = col_begin; c < col_end; ++c) {
            const int64_t to = r * stride + c;
            const int64_t from = r * ResX + c;
            if (to >= fb_pixels || from < 0 || from >= img_pixels)
                continue;
            destination[to] = imgbuf[from];
        }
    }
}

void write_img_to_fb(int left, int top, int width, int height, const fb_var_screeninfo& var)
{
    copy_img_to_buf(mmapaddr, left, top, width, height, var);
}

}  // namespace morvane
