// How much one mapping or allocation can take on the reader. Its programs
// are 32-bit, and its kernel keeps the top gigabyte of every address space
// for itself: what is left for a program, its code, stack and libraries
// included, is less than 3 GiB, so no single mapping or allocation of
// 3 GiB or more can succeed there. Every build refuses such sizes, so a
// native run gives the result the reader gives.
#pragma once

#include <cstdint>

namespace sys {

inline constexpr std::uint64_t kReaderAddressSpace = std::uint64_t{3} << 30;

inline constexpr bool fits_reader_address_space(std::uint64_t bytes) { return bytes < kReaderAddressSpace; }

}  // namespace sys
