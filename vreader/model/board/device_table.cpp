#include "vreader/model/board/device_table.hpp"

#include "vreader/model/board/usb_row.hpp"
#include "vreader/model/devices/display/display_row.hpp"
#include "vreader/model/devices/emmc/emmc_row.hpp"
#include "vreader/model/devices/gadget/gadget_rows.hpp"
#include "vreader/model/devices/input/input_row.hpp"
#include "vreader/model/devices/modem/modem_row.hpp"
#include "vreader/model/devices/net/net_row.hpp"
#include "vreader/model/devices/past_log/past_log_row.hpp"
#include "vreader/model/devices/subcpu/subcpu_row.hpp"
#include "vreader/model/devices/touch_panel/touch_panel_row.hpp"

namespace vreader {
namespace {

const DeviceRow* const kDeviceTable[] = {
    &kDisplayRow, &kTouchPanelRow, &kGadgetSerialRow,  &kSubCpuRow, &kUsbRow,   &kModemRow,
    &kNetRow,     &kPastLogRow,    &kGadgetStorageRow, &kEmmcRow,   &kInputRow,
};

}  // namespace

std::span<const DeviceRow* const> device_table() { return kDeviceTable; }

void use_device_table() { use_devices(kDeviceTable); }

}  // namespace vreader
