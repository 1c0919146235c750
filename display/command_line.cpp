// Start-up and dispatch of morvane: open and map the framebuffer, run the
// one command named by the first argument, close and exit with its result.
#include "display/command_line.hpp"

#include "display/drawing.hpp"
#include "display/morvane_state.hpp"
#include "display/panel_settings.hpp"
#include "display/waveform.hpp"
#include "platform/heap_array.hpp"
#include "platform/numbers.hpp"
#include "platform/sys.hpp"
#include "platform/unique_fd.hpp"

#include <fcntl.h>
#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>

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

// The device steps of start-up: open the framebuffer, learn its memory's
// size, map that memory, learn the screen's geometry. The owners keep what
// was acquired, whichever step fails; 0, or the status the program ends with.
int open_display(sys::UniqueFd& framebuffer, sys::Mapping& mapping)
{
    framebuffer.reset(open_framebuffer());
    fb_fd = framebuffer.get();
    if (!framebuffer.valid()) {
        std::printf("open error (%d)\n", errno);
        return 2;
    }
    if (sys::ioctl(fb_fd, FBIOGET_FSCREENINFO, &fix_info) < 0) {
        std::printf("Cannot execute ioctl.\n");
        return 2;
    }
    mapping = sys::Mapping(sys::mmap(nullptr, fix_info.smem_len, PROT_READ | PROT_WRITE, MAP_SHARED, fb_fd, 0),
                           fix_info.smem_len);
    if (!mapping.valid()) {
        std::printf("mmap error %d\n", errno);
        return 1;
    }
    mmapaddr = static_cast<uint16_t*>(mapping.get());
    mmaplen = mapping.size();
    if (sys::ioctl(fb_fd, FBIOGET_VSCREENINFO, &var_info) < 0) {
        std::printf("Cannot execute ioctl.\n");
        return 2;
    }
    ResX = static_cast<int>(var_info.xres);
    ResY = static_cast<int>(var_info.yres);
    return 0;
}

// The program-wide names lead into what the run owns; once the owners are
// released they lead nowhere.
struct ForgetDisplay {
    ForgetDisplay() = default;
    ForgetDisplay(const ForgetDisplay&) = delete;
    ForgetDisplay& operator=(const ForgetDisplay&) = delete;
    ~ForgetDisplay()
    {
        imgbuf = nullptr;
        imgbuf_len = 0;
        mmapaddr = nullptr;
        mmaplen = 0;
        fb_fd = -1;
    }
};

int run_command(int argc, char** argv)
{
    epdc::mxcfb_update_data record{};
    record.temp = epdc::TEMP_USE_AMBIENT;

    const Command* command = std::find_if(std::begin(commands), std::end(commands),
                                          [&](const Command& c) { return std::strcmp(argv[1], c.name) == 0; });
    if (command == std::end(commands)) {
        std::printf("Invalid command.\n");
        return 2;
    }
    if (!arguments_fit(*command, argc - 2)) {
        std::printf("Invalid args\n");
        return kInvalidArgs;
    }
    return command->run(argc, argv, record);
}

}  // namespace

// The framebuffer, its mapping and the image buffer are owned by this run:
// whichever way it ends, they are released, the image buffer first and the
// descriptor last.
int morvane_main(int argc, char** argv)
{
    if (argc < 2) {
        Usage();
        return 1;
    }
    const ForgetDisplay forget;
    sys::UniqueFd framebuffer;
    sys::Mapping mapping;
    if (const int failure = open_display(framebuffer, mapping); failure != 0)
        return failure;
    const sys::HeapArray<uint16_t> image((fix_info.smem_len + 1) / 2);
    if (!image) {
        std::printf("Cannot alloc image buffer.\n");
        return 2;
    }
    imgbuf = image.get();
    imgbuf_len = fix_info.smem_len;
    copy_fb_to_img();
    return run_command(argc, argv);
}

}  // namespace morvane
