// The reader as a PC sees it over USB, as a row of the device table: its
// `vreader state` lines and `vreader set` keys (usb.conf: volumes, identity,
// lock, what the vendor commands keep; the update partitions, the HTTP
// tunnel, the PC's device tree), its faults (device "usb") and its files in
// a new reader. The USB side's model (usb/) is portable and knows no
// reader directory of core/; this row is its place in the board.
#pragma once

#include "vreader/model/core/device_row.hpp"

namespace vreader {

extern const DeviceRow kUsbRow;

}  // namespace vreader
