// The reader stand-in gadget's FunctionFS descriptors and strings: one
// mass-storage interface (class 8, SCSI transparent command set, Bulk-Only
// Transport) with a bulk-in and a bulk-out endpoint, at full and high speed.
// Written to ep0 before the gadget is bound; FunctionFS then makes ep1 (in)
// and ep2 (out) in this order.
#pragma once

#include <cstdint>
#include <span>

namespace kbench::ffs {

std::span<const std::uint8_t> descriptors();
std::span<const std::uint8_t> strings();

}  // namespace kbench::ffs
