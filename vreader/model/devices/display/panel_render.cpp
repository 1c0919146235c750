#include "vreader/model/devices/display/panel_render.hpp"

namespace vreader {
namespace {

std::uint8_t threshold(std::uint8_t value) { return value >= 128 ? 255 : 0; }

}  // namespace

std::uint8_t panel_level(std::uint16_t rgb565)
{
    const std::uint32_t r8 = (rgb565 >> 11) * 255u / 31u;
    const std::uint32_t g8 = ((rgb565 >> 5) & 0x3Fu) * 255u / 63u;
    const std::uint32_t b8 = (rgb565 & 0x1Fu) * 255u / 31u;
    const std::uint32_t y8 = (299u * r8 + 587u * g8 + 114u * b8) / 1000u;
    return static_cast<std::uint8_t>((y8 >> 4) * 17u);
}

void render_region(const FrameMemory& memory, std::uint32_t rotate, const Region& region, std::uint32_t waveform_mode,
                   std::uint32_t flags, PanelImage& panel)
{
    const std::uint32_t w = panel.width;
    const std::uint32_t h = panel.height;
    for (std::uint32_t y = region.top; y < region.top + region.height; ++y) {
        for (std::uint32_t x = region.left; x < region.left + region.width; ++x) {
            const std::uint64_t index = (std::uint64_t{memory.yoffset} + y) * memory.xres_virtual + memory.xoffset + x;
            std::uint8_t value = 255;
            if (waveform_mode != kWaveformInit) {
                std::uint16_t pixel = 0;
                if (2 * index + 1 < memory.bytes.size()) {
                    const auto at = static_cast<std::size_t>(2 * index);
                    pixel = static_cast<std::uint16_t>(memory.bytes[at] | memory.bytes[at + 1] << 8);
                }
                value = panel_level(pixel);
                if (flags & kFlagInversion)
                    value = static_cast<std::uint8_t>(255 - value);
                if (flags & kFlagMonochrome)
                    value = threshold(value);
                if (waveform_mode == kWaveformDu || waveform_mode == kWaveformA2)
                    value = threshold(value);
            }
            std::uint32_t px = x;
            std::uint32_t py = y;
            switch (rotate) {
            case 1:
                px = w - 1 - y;
                py = x;
                break;
            case 2:
                px = w - 1 - x;
                py = h - 1 - y;
                break;
            case 3:
                px = y;
                py = h - 1 - x;
                break;
            default:
                break;
            }
            if (px < w && py < h)
                panel.pixels[std::size_t{py} * w + px] = value;
        }
    }
}

}  // namespace vreader
