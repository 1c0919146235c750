// What a virtual reader is built with (reader.conf) and the screen geometry
// that follows from it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vreader {

inline constexpr std::uint32_t kMaxPanelSide = 4096;
inline constexpr std::uint32_t kMaxStridePad = 4096;
inline constexpr std::uint64_t kDefaultEmmcSize = std::uint64_t{4} << 30;
inline constexpr std::uint64_t kMinEmmcSize = std::uint64_t{16} << 20;  // holds the default raw areas
inline constexpr std::uint64_t kMaxEmmcSize = std::uint64_t{1} << 40;
inline constexpr std::uint32_t kMaxEmmcUnit = 31;

// Which of the eMMC's two device names exist: /dev/mmcblkN, /dev/block/mmcblkN.
enum class EmmcNodes { Both, Dev, Block };

struct ReaderConfig {
    std::uint32_t panel_width = 600;  // native (rotate 0) orientation
    std::uint32_t panel_height = 800;
    std::uint32_t stride_pad = 8;  // extra pixels at the end of each memory row
    bool graphics_node = false;    // whether /dev/graphics/fb0 exists besides /dev/fb0
    std::uint64_t smem_start = 0x9C000000;
    std::uint64_t emmc_size = kDefaultEmmcSize;  // bytes, a multiple of 512
    std::uint32_t emmc_unit = 2;                 // N of mmcblkN
    EmmcNodes emmc_nodes = EmmcNodes::Both;
    std::uint32_t spi_cs = 2;         // the sub-CPU's chip select: 2, or 0 on older boards
    std::uint32_t touch_devices = 1;  // /dev/input/event1 on; event0 is the HOME key
    bool modem = true;                // whether the WAN modem's port /dev/ttyUSB0 exists
};

// Enough for a reader with more input devices than usbhotplugd watches
// (event0 and nine touch devices: ten).
inline constexpr std::uint32_t kMaxTouchDevices = 15;

// "mmcblk2": the eMMC's kernel name, which scopes its faults.
std::string emmc_device(const ReaderConfig& config);

std::string_view emmc_nodes_name(EmmcNodes nodes);
bool parse_emmc_nodes(std::string_view text, EmmcNodes& out);

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
