// 32-bit little-endian words in the byte records the reader exchanges.
#pragma once

#include <cstdint>

namespace fendrac {

inline std::uint32_t read_le32(const std::uint8_t* bytes)
{
    return std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 | std::uint32_t(bytes[2]) << 16 |
           std::uint32_t(bytes[3]) << 24;
}

inline std::int32_t read_le32_signed(const std::uint8_t* bytes) { return static_cast<std::int32_t>(read_le32(bytes)); }

inline void write_le32(std::uint8_t* bytes, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace fendrac
