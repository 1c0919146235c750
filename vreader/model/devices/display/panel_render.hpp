// How the panel turns framebuffer memory into what a person sees: RGB565 to
// 16 gray levels, the update flags and waveform modes, and the rotation from
// screen coordinates to the panel's native orientation.
#pragma once

#include <cstdint>
#include <span>

namespace vreader {

inline constexpr std::uint32_t kWaveformInit = 0;
inline constexpr std::uint32_t kWaveformDu = 1;
inline constexpr std::uint32_t kWaveformGc16 = 2;
inline constexpr std::uint32_t kWaveformA2 = 4;
inline constexpr std::uint32_t kWaveformAuto = 257;

inline constexpr std::uint32_t kFlagInversion = 0x1;
inline constexpr std::uint32_t kFlagMonochrome = 0x2;

// The panel value (0 black .. 255 white, a multiple of 17) of one pixel:
// luminance of the 8-bit expansion, cut to 16 levels.
std::uint8_t panel_level(std::uint16_t rgb565);

// Framebuffer memory as the controller reads it.
struct FrameMemory {
    std::span<const std::uint8_t> bytes;  // little-endian RGB565
    std::uint32_t xres_virtual = 0;       // row stride in pixels
    std::uint32_t xoffset = 0;
    std::uint32_t yoffset = 0;
};

// The panel image, native orientation, row-major, one byte per pixel.
struct PanelImage {
    std::span<std::uint8_t> pixels;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// A rectangle in the current screen coordinates, already checked to lie on
// the screen.
struct Region {
    std::uint32_t left = 0;
    std::uint32_t top = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// Refreshes the region of the panel from memory.
void render_region(const FrameMemory& memory, std::uint32_t rotate, const Region& region, std::uint32_t waveform_mode,
                   std::uint32_t flags, PanelImage& panel);

}  // namespace vreader
