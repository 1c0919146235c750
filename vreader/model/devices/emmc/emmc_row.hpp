// The eMMC as a row of the device table.
#pragma once

#include "vreader/model/core/device_row.hpp"

namespace vreader {

extern const DeviceRow kEmmcRow;

}  // namespace vreader
