#include "vreader/model/devices/display/snapshots.hpp"

#include "vreader/model/devices/display/display_files.hpp"
#include "vreader/model/devices/display/epdc_state.hpp"
#include "vreader/model/state/files.hpp"
#include "vreader/model/state/reader_lock.hpp"

#include <cstring>

namespace vreader {
namespace {

bool load(const ReaderDir& dir, std::string_view name, std::uint64_t needed, std::string& out, std::string& error)
{
    if (const int e = read_file(dir.file(name), out); e != 0) {
        error = dir.file(name) + ": " + std::strerror(e);
        return false;
    }
    if (out.size() < needed) {
        error = dir.file(name) + " is shorter than the reader's geometry";
        return false;
    }
    return true;
}

bool load_state(const ReaderDir& dir, EpdcState& state, std::string& error)
{
    std::string text;
    return load(dir, kStateFile, 0, text, error) && parse_state(text, state, error);
}

// RGB565 pixels, little-endian, `stride` pixels a row, to RGB8.
void expand_rgb565(const std::string& bytes, std::uint64_t first, std::uint32_t stride, Image& image)
{
    image.channels = 3;
    image.pixels.resize(std::size_t{image.width} * image.height * 3);
    std::size_t out = 0;
    for (std::uint32_t y = 0; y < image.height; ++y) {
        for (std::uint32_t x = 0; x < image.width; ++x) {
            const std::size_t at = static_cast<std::size_t>(2 * (first + std::uint64_t{y} * stride + x));
            const auto pixel = static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[at]) |
                                                          static_cast<std::uint8_t>(bytes[at + 1]) << 8);
            image.pixels[out++] = static_cast<std::uint8_t>((pixel >> 11) * 255u / 31u);
            image.pixels[out++] = static_cast<std::uint8_t>(((pixel >> 5) & 0x3Fu) * 255u / 63u);
            image.pixels[out++] = static_cast<std::uint8_t>((pixel & 0x1Fu) * 255u / 31u);
        }
    }
}

}  // namespace

bool panel_snapshot(const ReaderDir& dir, Image& out, std::string& error)
{
    const ReaderConfig& config = dir.config();
    const std::uint64_t size = std::uint64_t{config.panel_width} * config.panel_height;
    ReaderLock lock(dir.file(kLockFile));
    std::string bytes;
    if (!load(dir, kPanelFile, size, bytes, error))
        return false;
    out.width = config.panel_width;
    out.height = config.panel_height;
    out.channels = 1;
    out.pixels.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
    return true;
}

bool memory_snapshot(const ReaderDir& dir, Image& out, std::string& error)
{
    ReaderLock lock(dir.file(kLockFile));
    EpdcState state;
    std::string bytes;
    if (!load_state(dir, state, error) || !load(dir, kMemoryFile, memory_size(dir.config()), bytes, error))
        return false;
    const ScreenGeometry g = screen_geometry(dir.config(), state.rotate);
    if (std::uint64_t{state.yoffset} + g.yres > g.yres_virtual) {
        error = "the visible page lies outside framebuffer memory";
        return false;
    }
    out.width = g.xres;
    out.height = g.yres;
    expand_rgb565(bytes, std::uint64_t{state.yoffset} * g.xres_virtual, g.xres_virtual, out);
    return true;
}

bool standby_snapshot(const ReaderDir& dir, Image& out, std::string& error)
{
    ReaderLock lock(dir.file(kLockFile));
    EpdcState state;
    if (!load_state(dir, state, error))
        return false;
    if (!state.standby) {
        error = "no standby screen has been written";
        return false;
    }
    std::string bytes;
    if (!load(dir, kStandbyFile, std::uint64_t{state.standby_width} * state.standby_height * 2, bytes, error))
        return false;
    out.width = state.standby_width;
    out.height = state.standby_height;
    expand_rgb565(bytes, 0, state.standby_width, out);
    return true;
}

}  // namespace vreader
