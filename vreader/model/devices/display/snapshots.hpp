// Pictures of a virtual reader for people: what the panel shows, what the
// visible page of framebuffer memory holds, and the standby screen.
#pragma once

#include "vreader/model/core/reader_dir.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace vreader {

struct Image {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t channels = 0;        // 1 gray, 3 RGB
    std::vector<std::uint8_t> pixels;  // row-major, 8 bits per channel
};

// Each returns false and says why in `error`.
bool panel_snapshot(const ReaderDir& dir, Image& out, std::string& error);
bool memory_snapshot(const ReaderDir& dir, Image& out, std::string& error);
bool standby_snapshot(const ReaderDir& dir, Image& out, std::string& error);

}  // namespace vreader
