// The USB gadget as rows of the device table: its serial function
// (/dev/ttyGS0) and its mass-storage function with what goes with it (the
// LUN attributes, the uevent socket, the nodes under /tmp/lun*, the module
// commands).
#pragma once

#include "vreader/model/core/device_row.hpp"

namespace vreader {

extern const DeviceRow kGadgetSerialRow;
extern const DeviceRow kGadgetStorageRow;

}  // namespace vreader
