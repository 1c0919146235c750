#include "vreader/model/usb/usb_faults.hpp"

#include <cerrno>
#include <cstdio>
#include <string>

namespace vreader::usb {
namespace {

bool means_something_on_usb(FaultKind kind)
{
    switch (kind) {
    case FaultKind::Error:
    case FaultKind::Short:
    case FaultKind::Silent:
    case FaultKind::Check:
    case FaultKind::Empty:
        return true;
    default:
        return false;
    }
}

std::string with_code(std::string_view name, std::uint8_t code)
{
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02X", code);
    return std::string(name) + "_" + hex;
}

}  // namespace

std::uint32_t windows_error(int error)
{
    switch (error) {
    case EIO:
        return kErrorIoDevice;
    case ETIMEDOUT:
    case ETIME:
        return kErrorSemTimeout;
    case ENODEV:
    case ENXIO:
        return kErrorDevNotExist;
    case ENOENT:
        return kErrorFileNotFound;
    case EACCES:
    case EPERM:
        return kErrorAccessDenied;
    case ENOMEM:
        return kErrorNotEnoughMemory;
    case EBUSY:
    case EAGAIN:
        return kErrorBusy;
    case EINVAL:
        return kErrorInvalidParameter;
    case ENOSYS:
    case ENOTTY:
        return kErrorNotSupported;
    default:
        return kErrorGenFailure;
    }
}

FaultHit take_exchange_fault(std::vector<Fault>& faults, std::optional<std::uint8_t> vendor_code, bool reply,
                             bool& changed)
{
    std::vector<std::string> names;
    if (reply && vendor_code)
        names.push_back(with_code("reply", *vendor_code));
    if (vendor_code)
        names.push_back(with_code("scsi", *vendor_code));
    if (reply)
        names.push_back("reply");
    names.push_back("scsi");
    for (const std::string& name : names) {
        const Fault* fault = first_fault(faults, name, kUsbDevice);
        if (fault == nullptr || !means_something_on_usb(fault->kind))
            continue;
        if (const FaultHit hit = consume_fault(faults, name, kUsbDevice, changed); hit.fired)
            return hit;
    }
    return {};
}

}  // namespace vreader::usb
