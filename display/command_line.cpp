// Start-up and dispatch of morvane: open and map the framebuffer, run the
// one command named by the first argument, close and exit with its result.
#include "display/command_line.hpp"

#include "display/drawing.hpp"
#include "display/morvane_state.hpp"
#include "display/panel_settings.hpp"
#include "display/waveform.hpp"
#include "platform/numbers.hpp"
#include "platform/sys.hpp"

#include <fcntl.h>
#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <cstdlib>

namespace morvane {
namespace {

constexpr int kInvalidArgs = EINVAL;

enum class Count { AtLeast, Exactly, NotCounted };

using Handler = int (*)(int argc, char** argv, epdc::mxcfb_update_data& record);

struct Command {
    const char* name;
    Count rule;
    int count;
    Handler run;
};

int command_wait(int, char** argv, epdc::mxcfb_update_data&)
{
    // A negative time would become a wait of over an hour as an unsigned
    // count; it waits for nothing instead.
    const int usec = sys::atoi(argv[2]);
    sys::usleep(static_cast<useconds_t>(std::max(usec, 0)));
    return 0;
}

int command_pandisp(int, char**, epdc::mxcfb_update_data&)
{
    var_info.yoffset = var_info.yoffset != 0 ? 0 : var_info.yres_virtual / 2;
    if (sys::ioctl(fb_fd, FBIOPAN_DISPLAY, &var_info) < 0) {
        const int error = errno;
        std::printf("fails to pan. %d\n", error);
        return error;
    }
    return 0;
}

constexpr Command commands[] = {
    {"rotate", Count::AtLeast, 1, [](int, char** argv, auto&) { return set_rotate(var_info, argv[2]); }},
    {"getinfo", Count::NotCounted, 0, [](int, char**, auto&) { return disp_fb_info(fix_info, var_info); }},
    {"gettemp", Count::NotCounted, 0, [](int, char**, auto&) { return get_temperature(); }},
    {"settemp", Count::AtLeast, 1, [](int, char** argv, auto&) { return set_default_temperature(argv[2]); }},
    {"getvcom", Count::NotCounted, 0, [](int, char**, auto&) { return get_vcom(); }},
    {"setvcom", Count::AtLeast, 1, [](int, char** argv, auto&) { return set_vcom(argv[2]); }},
    {"wait", Count::AtLeast, 1, command_wait},
    {"pddelay", Count::AtLeast, 1, [](int, char** argv, auto&) { return set_powerdown_delay(argv[2]); }},
    {"file", Count::AtLeast, 3, display_file},
    {"patt", Count::AtLeast, 3, [](int argc, char** argv, auto& r) { return display_pattern(argc, argv, r, 0); }},
    {"vpatt", Count::AtLeast, 3, [](int argc, char** argv, auto& r) { return display_pattern(argc, argv, r, 1); }},
    {"gray", Count::AtLeast, 3, display_gray},
    {"getwfver", Count::NotCounted, 0, [](int, char**, auto&) { return get_waveform_version(); }},
    {"writewf", Count::Exactly, 1, [](int, char** argv, auto&) { return write_waveform_data(argv[2]); }},
    {"verifywf", Count::Exactly, 1, [](int, char** argv, auto&) { return verify_waveform(argv[2]); }},
    {"setss", Count::Exactly, 1, [](int, char** argv, auto&) { return write_standbyscreen(argv[2], var_info); }},
    {"setinit", Count::Exactly, 1, [](int, char** argv, auto&) { return set_panel_init_flag(argv[2]); }},
    {"pandisp", Count::Exactly, 0, command_pandisp},
};

bool arguments_fit(const Command& command, int arguments)
{
    switch (command.rule) {
    case Count::AtLeast:
        return arguments >= command.count;
    case Count::Exactly:
        return arguments == command.count;
    case Count::NotCounted:
        return true;
    }
    return false;
}

int open_framebuffer()
{
    static constexpr const char* templates[] = {"/dev/graphics/fb%u", "/dev/fb%u"};
    char name[64];
    for (const char* format : templates) {
        std::snprintf(name, sizeof name, format, 0u);
        const int fd = sys::open(name, O_RDWR);
        if (fd >= 0)
            return fd;
    }
    return -1;
}

// The image buffer starts as a copy of the framebuffer's picture, so a
// command that draws nothing leaves the screen as it was.
void copy_fb_to_img()
{
    const int64_t stride = var_info.xres_virtual;
    const auto fb_pixels = static_cast<int64_t>(mmaplen / 2);
    const auto img_pixels = static_cast<int64_t>(imgbuf_len / 2);
    for (int64_t r = 0; r < var_info.yres_virtual; ++r) {
        for (int64_t c = 0; c < ResX && c < stride; ++c) {
            const int64_t from = r * stride + c;
            const int64_t to = r * ResX + c;
            if (from >= fb_pixels || to >= img_pixels)
                return;
            imgbuf[to] = mmapaddr[from];
        }
    }
}

void close_display()
{
    std::free(imgbuf);
    imgbuf = nullptr;
    imgbuf_len = 0;
    if (mmapaddr != nullptr)
        sys::munmap(mmapaddr, mmaplen);
    mmapaddr = nullptr;
    mmaplen = 0;
    if (fb_fd >= 0)
        sys::close(fb_fd);
    fb_fd = -1;
}

int start_up()
{
    fb_fd = open_framebuffer();
    if (fb_fd < 0) {
        std::printf("open error (%d)\n", errno);
        return 2;
    }
    if (sys::ioctl(fb_fd, FBIOGET_FSCREENINFO, &fix_info) < 0) {
        std::printf("Cannot execute ioctl.\n");
        close_display();
        return 2;
    }
    void* map = sys::mmap(nullptr, fix_info.smem_len, PROT_READ | PROT_WRITE, MAP_SHARED, fb_fd, 0);
    if (map == MAP_FAILED) {
        std::printf("mmap error %d\n", errno);
        close_display();
        return 1;
    }
    mmapaddr = static_cast<uint16_t*>(map);
    mmaplen = fix_info.smem_len;
    if (sys::ioctl(fb_fd, FBIOGET_VSCREENINFO, &var_info) < 0) {
        std::printf("Cannot execute ioctl.\n");
        close_display();
        return 2;
    }
    ResX = static_cast<int>(var_info.xres);
    ResY = static_cast<int>(var_info.yres);
    imgbuf = static_cast<uint16_t*>(std::malloc((fix_info.smem_len + 1) / 2 * sizeof(uint16_t)));
    if (imgbuf == nullptr) {
        std::printf("Cannot alloc image buffer.\n");
        close_display();
        return 2;
    }
    imgbuf_len = fix_info.smem_len;
    copy_fb_to_img();
    return 0;
}

}  // namespace

int morvane_main(int argc, char** argv)
{
    if (argc < 2) {
        Usage();
        return 1;
    }
    if (const int failure = start_up(); failure != 0)
        return failure;

    epdc::mxcfb_update_data record{};
    record.temp = epdc::TEMP_USE_AMBIENT;

    const Command* command = std::find_if(std::begin(commands), std::end(commands),
                                          [&](const Command& c) { return std::strcmp(argv[1], c.name) == 0; });
    int result;
    if (command == std::end(commands)) {
        std::printf("Invalid command.\n");
        result = 2;
    } else if (!arguments_fit(*command, argc - 2)) {
        std::printf("Invalid args\n");
        result = kInvalidArgs;
    } else {
        result = command->run(argc, argv, record);
    }
    close_display();
    return result;
}

}  // namespace morvane
