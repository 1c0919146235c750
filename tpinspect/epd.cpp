// The inspection tool's drawing layer on /dev/fb0: outlines and filled
// rectangles written into the mapping, the dirty area, partial and full
// refreshes.
#include "tpinspect/epd.hpp"

#include "display/epdc.hpp"
#include "display/graytable.hpp"
#include "platform/sys.hpp"
#include "platform/unique_fd.hpp"

#include <fcntl.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

namespace epd {
namespace {

constexpr int kStridePad = 8;

sys::UniqueFd Lepd;
int Lres_x = 0;
int Lres_y = 0;
sys::Mapping Lframebuffer;
std::size_t Lframebuffer_pixels = 0;
// The dirty area stays within the screen: a rectangle is cut before it
// grows it, so these never leave 0..Lres_x and 0..Lres_y.
std::int64_t Lax, Lay, Lbx, Lby;
epdc::mxcfb_rect prev{};

// A rectangle in 64-bit numbers: a touch mark around any 32-bit position,
// and its edges, are computed without overflow.
struct Rect {
    std::int64_t x, y, w, h;
};

epdc::mxcfb_update_data update_record(std::uint32_t update_mode)
{
    epdc::mxcfb_update_data record{};
    record.waveform_mode = epdc::WAVEFORM_MODE_AUTO;
    record.update_mode = update_mode;
    record.update_marker = 1;
    record.temp = epdc::TEMP_USE_AMBIENT;
    return record;
}

void set_empty_area()
{
    Lax = Lres_x;
    Lay = Lres_y;
    Lbx = 0;
    Lby = 0;
}

// Grows the dirty area by a cut rectangle, even one with nothing on the
// screen: its near edges still count, as a mark just past the right edge
// widens the area up to that edge.
void set_update_area(const Rect& r)
{
    Lax = std::min(Lax, r.x);
    Lay = std::min(Lay, r.y);
    Lbx = std::max(Lbx, r.x + r.w);
    Lby = std::max(Lby, r.y + r.h);
}

// One axis of a rectangle cut at 0 and at `size`: afterwards `at` >= 0 and
// `at` + `length` <= `size`, and the length is what lies on the screen
// (0 or less when nothing does).
void cut(std::int64_t& at, std::int64_t& length, std::int64_t size)
{
    if (at < 0) {
        constexpr std::int64_t lowest = std::numeric_limits<std::int64_t>::min();
        length = length < lowest - at ? lowest : length + at;
        at = 0;
    }
    if (length > size - at)
        length = size - at;
}

Rect cut(std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h)
{
    Rect r{x, y, w, h};
    cut(r.x, r.w, Lres_x);
    cut(r.y, r.h, Lres_y);
    return r;
}

std::uint16_t* pixels() { return static_cast<std::uint16_t*>(Lframebuffer.get()); }

bool visible(const Rect& r) { return Lframebuffer.valid() && r.w > 0 && r.h > 0; }

std::size_t pixel_index(std::int64_t x, std::int64_t y)
{
    return static_cast<std::size_t>(static_cast<std::uint64_t>(y) * static_cast<std::uint64_t>(Lres_x + kStridePad) +
                                    static_cast<std::uint64_t>(x));
}

void put(std::int64_t x, std::int64_t y, std::uint16_t value)
{
    const std::size_t at = pixel_index(x, y);
    if (at < Lframebuffer_pixels)
        pixels()[at] = value;
}

// `w` pixels of row `y` from column `x` (cut already), as far as the
// mapping reaches: one fill rather than a check per pixel.
void fill_row(std::int64_t x, std::int64_t y, std::int64_t w, std::uint16_t value)
{
    const std::size_t at = pixel_index(x, y);
    if (at >= Lframebuffer_pixels)
        return;
    std::fill_n(pixels() + at, std::min<std::size_t>(static_cast<std::size_t>(w), Lframebuffer_pixels - at), value);
}

// Refuses what no layout can be laid out on: a side under four pixels, or
// more pixels than the memory behind them holds (a size no panel has, which
// would only overflow the layouts' arithmetic).
bool usable(const fb_var_screeninfo& var, const fb_fix_screeninfo& fix)
{
    constexpr std::uint32_t kSmallest = 4;
    if (var.xres >= kSmallest && var.yres >= kSmallest &&
        std::uint64_t{var.xres} * var.yres <= std::uint64_t{fix.smem_len} / 2)
        return true;
    std::fprintf(stderr, "display of %ux%u pixels in %u bytes cannot be used\n", var.xres, var.yres, fix.smem_len);
    return false;
}

// Unmaps the screen and closes the device: drawing draws nothing after it.
void forget_screen()
{
    Lres_x = 0;
    Lres_y = 0;
    Lframebuffer.reset();
    Lframebuffer_pixels = 0;
    set_empty_area();
    Lepd.reset();
}

void send(epdc::mxcfb_update_data& record)
{
    if (!Lepd.valid())
        return;
    if (sys::ioctl(Lepd.get(), epdc::MXCFB_SEND_UPDATE, &record) < 0)
        std::perror("ioctl(MXCFB_SEND_UPDATE)");
}

}  // namespace

int epd_initialize()
{
    forget_screen();
    Lepd.reset(sys::open("/dev/fb0", O_RDWR));
    if (!Lepd.valid()) {
        std::perror("open(/dev/fb0)");
        return -1;
    }
    fb_var_screeninfo var{};
    fb_fix_screeninfo fix{};
    const char* failed = nullptr;
    if (sys::ioctl(Lepd.get(), FBIOGET_VSCREENINFO, &var) < 0) {
        failed = "ioctl(FBIOGET_VSCREENINFO)";
    } else if (sys::ioctl(Lepd.get(), FBIOGET_FSCREENINFO, &fix) < 0) {
        failed = "ioctl(FBIOGET_FSCREENINFO)";
    } else if (usable(var, fix)) {
        Lframebuffer = sys::Mapping(sys::mmap(nullptr, fix.smem_len, PROT_READ | PROT_WRITE, MAP_SHARED, Lepd.get(), 0),
                                    fix.smem_len);
        if (!Lframebuffer.valid())
            failed = "mmap(/dev/fb0)";
    }
    if (!Lframebuffer.valid()) {
        if (failed != nullptr)
            std::perror(failed);
        Lepd.reset();
        return -1;
    }
    Lres_x = static_cast<int>(var.xres);
    Lres_y = static_cast<int>(var.yres);
    Lframebuffer_pixels = fix.smem_len / 2;
    std::uint32_t scheme = epdc::UPDATE_SCHEME_QUEUE_AND_MERGE;
    if (sys::ioctl(Lepd.get(), epdc::MXCFB_SET_UPDATE_SCHEME, &scheme) < 0)
        std::perror("ioctl(MXCFB_SET_UPDATE_SCHEME)");
    set_empty_area();
    return 0;
}

void epd_finalize() { forget_screen(); }

int epd_get_res_x() { return Lres_x; }
int epd_get_res_y() { return Lres_y; }

void epd_drawrect(std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h, int gray)
{
    const Rect r = cut(x, y, w, h);
    if (visible(r)) {
        const std::uint16_t value = epdc::graytable[gray & 0x0F];
        for (std::int64_t row = r.y; row < r.y + r.h; ++row) {
            put(r.x, row, value);
            put(r.x + r.w - 1, row, value);
        }
        fill_row(r.x, r.y, r.w, value);
        fill_row(r.x, r.y + r.h - 1, r.w, value);
    }
    set_update_area(r);
}

void epd_drawfillrect(std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h, int gray)
{
    const Rect r = cut(x, y, w, h);
    if (visible(r)) {
        const std::uint16_t value = epdc::graytable[gray & 0x0F];
        // The first row filled, the others copied from it: the C library's
        // copy is faster than any fill loop of a build for size.
        fill_row(r.x, r.y, r.w, value);
        const std::size_t first = pixel_index(r.x, r.y);
        for (std::int64_t row = r.y + 1; row < r.y + r.h; ++row) {
            const std::size_t at = pixel_index(r.x, row);
            if (at >= Lframebuffer_pixels)
                break;
            std::memcpy(
                pixels() + at, pixels() + first,
                std::min<std::size_t>(static_cast<std::size_t>(r.w), Lframebuffer_pixels - at) * sizeof(std::uint16_t));
        }
    }
    set_update_area(r);
}

void epd_flush_area()
{
    const std::int64_t w = Lbx - Lax;
    const std::int64_t h = Lby - Lay;
    if (w <= 0 || h <= 0)
        return;
    epdc::mxcfb_update_data record = update_record(epdc::UPDATE_MODE_PARTIAL);
    record.update_region = {static_cast<std::uint32_t>(Lay), static_cast<std::uint32_t>(Lax),
                            static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h)};
    const epdc::mxcfb_rect& region = record.update_region;
    // The same region twice in a row is refreshed once.
    if (region.top != prev.top || region.left != prev.left || region.width != prev.width ||
        region.height != prev.height)
        send(record);
    prev = region;
    set_empty_area();
}

void epd_flush_all()
{
    epdc::mxcfb_update_data record = update_record(epdc::UPDATE_MODE_FULL);
    record.update_region = {0, 0, static_cast<std::uint32_t>(Lres_x), static_cast<std::uint32_t>(Lres_y)};
    send(record);
}

}  // namespace epd
