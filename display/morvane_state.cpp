#include "display/morvane_state.hpp"

#include <algorithm>

namespace morvane {

int fb_fd = -1;
uint16_t* mmapaddr = nullptr;
size_t mmaplen = 0;
int ResX = 0;
int ResY = 0;
uint16_t* imgbuf = nullptr;
size_t imgbuf_len = 0;
fb_var_screeninfo var_info{};
fb_fix_screeninfo fix_info{};

size_t picture_pixels()
{
    if (ResX <= 0 || ResY <= 0)
        return 0;
    const uint64_t pixels = static_cast<uint64_t>(ResX) * static_cast<uint64_t>(ResY);
    return static_cast<size_t>(std::min<uint64_t>(pixels, imgbuf_len / 2));
}

}  // namespace morvane
