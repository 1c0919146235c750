#include "tpinspect/epd.hpp"

#include "display/epdc.hpp"
#include "display/graytable.hpp"
#include "platform/sys.hpp"

#include <fcntl.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace epd {
namespace {

constexpr int kStridePad = 8;

int Lepd = -1;
int Lres_x = 0;
int Lres_y = 0;
std::uint16_t* Lframebuffer = nullptr;
std::size_t Lframebuffer_pixels = 0;
int Lax, Lay, Lbx, Lby;
epdc::mxcfb_rect prev{};

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

void set_update_area(int x, int y, int w, int h)
{
    Lax = std::min(Lax, x);
    Lay = std::min(Lay, y);
    Lbx = std::max(Lbx, x + w);
    Lby = std::max(Lby, y + h);
}

// The rectangle's part on the screen: false when nothing of it is.
bool clip(int& x, int& y, int& w, int& h)
{
    if (Lframebuffer == nullptr)
        return false;
    if (x < 0) {
        w += x;
        x = 0;
    }
    if (y < 0) {
        h += y;
        y = 0;
    }
    if (y + h > Lres_y)
        h = Lres_y - y;
    if (x + w > Lres_x)
        w = Lres_x - x;
    return w > 0 && h > 0;
}

void put(int x, int y, std::uint16_t value)
{
    const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(Lres_x + kStridePad) + x;
    if (at < Lframebuffer_pixels)
        Lframebuffer[at] = value;
}

// `w` pixels of row `y` from column `x` (clipped already), as far as the
// mapping reaches: one fill rather than a check per pixel.
void fill_row(int x, int y, int w, std::uint16_t value)
{
    const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(Lres_x + kStridePad) + x;
    if (at >= Lframebuffer_pixels)
        return;
    std::fill_n(Lframebuffer + at, std::min<std::size_t>(static_cast<std::size_t>(w), Lframebuffer_pixels - at),
                value);
}

void send(epdc::mxcfb_update_data& record)
{
    if (Lepd < 0)
        return;
    if (sys::ioctl(Lepd, epdc::MXCFB_SEND_UPDATE, &record) < 0)
        std::perror("ioctl(MXCFB_SEND_UPDATE)");
}

}  // namespace

int epd_initialize()
{
    Lepd = sys::open("/dev/fb0", O_RDWR);
    if (Lepd < 0)
        return -1;
    fb_var_screeninfo var{};
    fb_fix_screeninfo fix{};
    void* map = MAP_FAILED;
    if (sys::ioctl(Lepd, FBIOGET_VSCREENINFO, &var) < 0 || sys::ioctl(Lepd, FBIOGET_FSCREENINFO, &fix) < 0 ||
        (map = sys::mmap(nullptr, fix.smem_len, PROT_READ | PROT_WRITE, MAP_SHARED, Lepd, 0)) == MAP_FAILED) {
        sys::close(Lepd);
        Lepd = -1;
        return -1;
    }
    Lres_x = static_cast<int>(var.xres);
    Lres_y = static_cast<int>(var.yres);
    Lframebuffer = static_cast<std::uint16_t*>(map);
    Lframebuffer_pixels = fix.smem_len / 2;
    std::uint32_t scheme = epdc::UPDATE_SCHEME_QUEUE_AND_MERGE;
    if (sys::ioctl(Lepd, epdc::MXCFB_SET_UPDATE_SCHEME, &scheme) < 0)
        std::perror("ioctl(MXCFB_SET_UPDATE_SCHEME)");
    set_empty_area();
    return 0;
}

void epd_finalize()
{
    if (Lepd >= 0)
        sys::close(Lepd);
    Lepd = -1;
}

int epd_get_res_x() { return Lres_x; }
int epd_get_res_y() { return Lres_y; }

void epd_drawrect(int x, int y, int w, int h, int gray)
{
    if (!clip(x, y, w, h))
        return;
    const std::uint16_t value = epdc::graytable[gray & 0x0F];
    for (int row = y; row < y + h; ++row) {
        put(x, row, value);
        put(x + w - 1, row, value);
    }
    fill_row(x, y, w, value);
    fill_row(x, y + h - 1, w, value);
    set_update_area(x, y, w, h);
}

void epd_drawfillrect(int x, int y, int w, int h, int gray)
{
    if (!clip(x, y, w, h))
        return;
    const std::uint16_t value = epdc::graytable[gray & 0x0F];
    // The first row filled, the others copied from it: the C library's copy
    // is faster than any fill loop of a build for size.
    fill_row(x, y, w, value);
    const std::size_t stride = static_cast<std::size_t>(Lres_x + kStridePad);
    const std::size_t first = static_cast<std::size_t>(y) * stride + x;
    for (int row = y + 1; row < y + h; ++row) {
        const std::size_t at = static_cast<std::size_t>(row) * stride + x;
        if (at >= Lframebuffer_pixels)
            break;
        std::memcpy(Lframebuffer + at, Lframebuffer + first,
                    std::min<std::size_t>(static_cast<std::size_t>(w), Lframebuffer_pixels - at) * sizeof(std::uint16_t));
    }
    set_update_area(x, y, w, h);
}

void epd_flush_area()
{
    const int w = Lbx - Lax;
    const int h = Lby - Lay;
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
