// Builds image files the way a bitmap writer lays them out, so the loader is
// tested against the file format rather than against itself.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace display_test {

inline void put_le32(std::string& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>(value >> (8 * i) & 0xFF);
}

// A 16-bit bitmap: 14-byte file header, info header of `info_size` bytes,
// rows bottom-first, each padded to a multiple of 4 bytes. pixel(x, y) is the
// value at column x of image row y (row 0 at the top).
inline std::string make_bitmap(int32_t width, int32_t height, const std::function<uint16_t(int, int)>& pixel,
                               uint32_t info_size = 40)
{
    const size_t row_size = (static_cast<size_t>(width) * 2 + 3) / 4 * 4;
    const size_t header = 14 + info_size;
    std::string bytes(header + row_size * static_cast<size_t>(height), '\0');
    bytes[0] = 'B';
    bytes[1] = 'M';
    put_le32(bytes, 2, static_cast<uint32_t>(bytes.size()));
    put_le32(bytes, 10, static_cast<uint32_t>(header));
    put_le32(bytes, 14, info_size);
    put_le32(bytes, 18, static_cast<uint32_t>(width));
    put_le32(bytes, 22, static_cast<uint32_t>(height));
    bytes[26] = 1;   // planes
    bytes[28] = 16;  // bits per pixel
    for (int32_t stored = 0; stored < height; ++stored) {
        const int32_t y = height - 1 - stored;
        for (int32_t x = 0; x < width; ++x) {
            const uint16_t value = pixel(x, y);
            const size_t at = header + static_cast<size_t>(stored) * row_size + static_cast<size_t>(x) * 2;
            bytes[at] = static_cast<char>(value & 0xFF);
            bytes[at + 1] = static_cast<char>(value >> 8);
        }
    }
    return bytes;
}

// A value that tells the image row and column apart.
inline uint16_t coordinate_pixel(int x, int y) { return static_cast<uint16_t>(0x1000 + y * 0x100 + x); }

}  // namespace display_test
