// What a virtual reader is built with (reader.conf) and the screen geometry
// that follows from it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vreader {

inline constexpr std::uint32_t kMaxPanelSide = 4096;
inline constexpr std::uint32_t kMaxStridePad = 4096;

struct ReaderConfig {
    std::uint32_t panel_width = 600;  // native (rotate 0) orientation
    std::uint32_t panel_height = 800;
    std::uint32_t stride_pad = 8;  // extra pixels at the end of each memory row
    bool graphics_node = false;    // whether /dev/graphics/fb0 exists besides /dev/fb0
    std::uint64_t smem_start = 0x9C000000;
};

// Screen geometry in one orientation.
struct ScreenGeometry {
    std::uint32_t xres = 0;
    std::uint32_t yres = 0;
    std::uint32_t xres_virtual = 0;  // row stride in pixels
    std::uint32_t yres_virtual = 0;  // two pages
    std::uint32_t line_length = 0;   // row stride in bytes
};

// Rotations 1 and 3 swap width and height; the stride pad always follows.
ScreenGeometry screen_geometry(const ReaderConfig& config, std::uint32_t rotate);

// Framebuffer memory size: enough for either orientation, whole pages.
std::uint32_t memory_size(const ReaderConfig& config);

// Empty when the configuration is usable, else what is wrong with it.
std::string check_config(const ReaderConfig& config);

std::string format_config(const ReaderConfig& config);
bool parse_config(std::string_view text, ReaderConfig& out, std::string& error);

}  // namespace vreader
