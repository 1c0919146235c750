// The 16 gray levels the display programs draw with, as RGB565 values.
// Level n has red and blue 30 - 2n and green 60 - 4n: index 0 is the
// lightest, index 15 black.
#pragma once

#include <array>
#include <cstdint>

namespace epdc {

constexpr uint16_t gray_rgb565(int level)
{
    return static_cast<uint16_t>((30 - 2 * level) << 11 | (60 - 4 * level) << 5 | (30 - 2 * level));
}

constexpr std::array<uint16_t, 16> graytable = [] {
    std::array<uint16_t, 16> table{};
    for (int level = 0; level < 16; ++level)
        table[level] = gray_rgb565(level);
    return table;
}();

static_assert(graytable[0] == 0xF79E && graytable[7] == 0x8410 && graytable[15] == 0x0000);

}  // namespace epdc
