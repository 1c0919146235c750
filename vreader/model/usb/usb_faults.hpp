// What the faults file does to the SCSI requests a PC sends the reader over
// USB (device "usb"): which fault names an exchange answers to, and the
// Windows error with which the PC's storage driver then fails the call.
#pragma once

#include "vreader/model/state/faults.hpp"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace vreader::usb {

inline constexpr std::string_view kUsbDevice = "usb";

// Windows error codes, as the pass-through call reports them.
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorNotEnoughMemory = 8;
inline constexpr std::uint32_t kErrorNotReady = 21;
inline constexpr std::uint32_t kErrorGenFailure = 31;
inline constexpr std::uint32_t kErrorNotSupported = 50;
inline constexpr std::uint32_t kErrorDevNotExist = 55;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorSemTimeout = 121;
inline constexpr std::uint32_t kErrorBusy = 170;
inline constexpr std::uint32_t kErrorIoDevice = 1117;

// The Windows error for an errno fault ("fail" is EIO: ERROR_IO_DEVICE).
std::uint32_t windows_error(int error);

// Uses up the fault that hits one exchange, if any, trying the most specific
// name first: "reply_XX" (the reply of vendor command XX), "scsi_XX", "reply",
// "scsi". A fault whose effect means nothing on USB (a reply's split, lead,
// code, len, result or sum) is left for the devices it means something to.
// Sets `changed` when the list must be written back.
FaultHit take_exchange_fault(std::vector<Fault>& faults, std::optional<std::uint8_t> vendor_code, bool reply,
                             bool& changed);

}  // namespace vreader::usb
