// The reader's devices, one row each (two for the USB gadget's functions),
// in the order `vreader state` shows them. A new device is a folder under
// devices/ with its row, and one line in this table.
#pragma once

#include "vreader/model/core/device_row.hpp"

#include <span>

namespace vreader {

std::span<const DeviceRow* const> device_table();

// Makes the table the reader's devices (core's devices(), and the request
// names they add to the faults file). Call before a process first reaches
// a device or reads a faults file; calling again does nothing.
void use_device_table();

}  // namespace vreader
