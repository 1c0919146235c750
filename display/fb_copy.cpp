// Copies a rectangle of the image buffer (row stride ResX) into framebuffer
// memory (row stride xres_virtual). Pixels past the virtual screen, and any
// that would fall outside the mapping or the image buffer, are skipped.
#include "display/drawing.hpp"
#include "display/morvane_state.hpp"

#include <algorithm>
#include <cstring>

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

    // Row by row, the columns whose pixel lies inside both buffers: with
    // to = r * stride + c and from = r * ResX + c, that is to < fb_pixels,
    // 0 <= from < img_pixels. One copy per row.
    for (int64_t r = row_begin; r < row_end; ++r) {
        const int64_t first = std::max(col_begin, -r * ResX);
        const int64_t last = std::min({col_end, fb_pixels - r * stride, img_pixels - r * ResX});
        if (first >= last)
            continue;
        const auto to = static_cast<size_t>(r * stride + first);
        const auto from = static_cast<size_t>(r * ResX + first);
        std::memcpy(destination + to, imgbuf + from, static_cast<size_t>(last - first) * sizeof(uint16_t));
    }
}

void write_img_to_fb(int left, int top, int width, int height, const fb_var_screeninfo& var)
{
    copy_img_to_buf(mmapaddr, left, top, width, height, var);
}

}  // namespace morvane
