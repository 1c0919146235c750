// Requests on the whole screen: the update, the rotation and the screen
// information.
#include "display/drawing.hpp"
#include "display/morvane_state.hpp"
#include "platform/sys.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace morvane {

int updateimg(epdc::mxcfb_update_data& record)
{
    uint32_t scheme = epdc::UPDATE_SCHEME_QUEUE_AND_MERGE;
    int result = sys::ioctl(fb_fd, epdc::MXCFB_SET_UPDATE_SCHEME, &scheme);
    if (result < 0) {
        const int error = errno;
        std::printf("fb ioctl(MXCFB_SET_UPDATE_SCHEME) error (%d)\n", error);
        errno = error;
        return result;
    }
    record.update_marker = 1;
    result = sys::ioctl(fb_fd, epdc::MXCFB_SEND_UPDATE, &record);
    if (result < 0) {
        const int error = errno;
        std::printf("fb ioctl(MXCFB_SEND_UPDATE) error (%d)\n", error);
        errno = error;
    }
    return result;
}

int set_rotate(fb_var_screeninfo& var, const char* word)
{
    static constexpr struct {
        const char* word;
        uint32_t rotate;
        const char* message;
    } rotations[] = {
        {"0", 0, "Set rotate 0 drgree."},
        {"90", 1, "Set rotate 90 drgree."},
        {"180", 2, "Set rotate 180 degree."},
        {"270", 3, "Set rotate 270 degree."},
    };
    for (const auto& rotation : rotations) {
        if (std::strcmp(word, rotation.word) != 0)
            continue;
        std::printf("%s\n", rotation.message);
        var.rotate = rotation.rotate;
        if (sys::ioctl(fb_fd, FBIOPUT_VSCREENINFO, &var) < 0) {
            const int error = errno;
            std::printf("set rotate failed. %d.\n", error);
            return error;
        }
        return 0;
    }
    std::printf("Invalid args.\n");
    return EINVAL;
}

int disp_fb_info(const fb_fix_screeninfo& fix, const fb_var_screeninfo& var)
{
    std::printf(
        "xres = %d px\nyres = %d px\nxres_virtual = %d px\nyres_virtual = %d px\n"
        "x_offset = %d\ny_offset = %d\nbpp = %d\nsmem_start = %08lX\nsmem_len = %08X\n"
        "red_offset = %d\nred_length = %d\ngreen_offset = %d\ngreen_length = %d\n"
        "blue_offset = %d\nblue_length = %d\nactivate = %d\n",
        var.xres, var.yres, var.xres_virtual, var.yres_virtual, var.xoffset, var.yoffset, var.bits_per_pixel,
        static_cast<unsigned long>(fix.smem_start), fix.smem_len, var.red.offset, var.red.length, var.green.offset,
        var.green.length, var.blue.offset, var.blue.length, var.activate);
    return 0;
}

}  // namespace morvane
