// A framebuffer in memory behind the platform layer's open, ioctl, mmap,
// munmap and close, for the inspection layer's benchmark: the screen
// information of a 600x800 panel with 8 pixels of row padding, and refresh
// requests that return at once, so only the drawing is measured.
#include "display/epdc.hpp"
#include "platform/sys.hpp"

#include <cstring>
#include <vector>

namespace {

constexpr std::uint32_t kWidth = 600;
constexpr std::uint32_t kHeight = 800;
constexpr std::uint32_t kStride = kWidth + 8;
constexpr int kFramebufferFd = 100;

std::vector<std::uint16_t>& memory()
{
    static std::vector<std::uint16_t> pixels(std::size_t(kStride) * kHeight);
    return pixels;
}

}  // namespace

namespace sys {

int open(const char*, int, mode_t) noexcept { return kFramebufferFd; }
int close(int) noexcept { return 0; }

int ioctl(int fd, unsigned long request, void* arg) noexcept
{
    if (fd != kFramebufferFd)
        return -1;
    if (request == FBIOGET_VSCREENINFO) {
        auto& var = *static_cast<fb_var_screeninfo*>(arg);
        var = {};
        var.xres = kWidth;
        var.yres = kHeight;
        var.xres_virtual = kStride;
        var.yres_virtual = kHeight;
        var.bits_per_pixel = 16;
    } else if (request == FBIOGET_FSCREENINFO) {
        auto& fix = *static_cast<fb_fix_screeninfo*>(arg);
        fix = {};
        fix.smem_len = static_cast<std::uint32_t>(memory().size() * 2);
        fix.line_length = kStride * 2;
    }
    return 0;
}

void* mmap(void*, size_t, int, int, int, off_t) noexcept { return memory().data(); }
int munmap(void*, size_t) noexcept { return 0; }

}  // namespace sys
