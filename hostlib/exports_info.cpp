// Device information, clock and the reader's lock.
#include "hostlib/commands_device.hpp"
#include "hostlib/drive.hpp"
#include "hostlib/include/fendrac.h"
#include "hostlib/little_endian.hpp"
#include "hostlib/result_exchange.hpp"
#include "hostlib/results.hpp"
#include "protocol/vendor_records.hpp"

#include <cstdlib>
#include <cstring>

using namespace fendrac;

namespace {

static_assert(offsetof(DeviceProperty, entry_count) == 84);
static_assert(offsetof(DeviceProperty, entries) == 88);
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(DeviceProperty) == 92);
#endif

bool fits_one_phase(int size) { return size >= 0 && size <= static_cast<int>(kDataCapacity); }

}  // namespace

extern "C" {

FENDRAC_API int FENDRAC_CALL MSC_UsbGetProtocolVer(int selector, void* destination, int size)
{
    const DriveHold drive;
    if (destination == nullptr || !drive || size < 8)
        return kFailed;
    std::uint8_t version[8];
    const auto selector_word = static_cast<std::uint32_t>(selector);
    if (drive->DispatchRead(vendor::kProtocolVersion, version, sizeof version, selector_word) != kOk)
        return kFailed;
    std::memcpy(destination, version, sizeof version);
    return kOk;
}

FENDRAC_API int FENDRAC_CALL MSC_UsbInitCheck(void)
{
    const DriveHold drive;
    if (!drive)
        return kFailed;
    std::uint8_t version[8];
    return drive->DispatchRead(vendor::kProtocolVersion, version, sizeof version, 0) == kOk ? kOk : kFailed;
}

FENDRAC_API int FENDRAC_CALL MSC_UsbGetDevProperty(DeviceProperty* property)
{
    const DriveHold drive;
    if (!drive || property == nullptr)
        return kFailed;
    return drive->DispatchRead(vendor::kProperty, property, sizeof(DeviceProperty), 0);
}

FENDRAC_API void FENDRAC_CALL MSC_UsbFreeDevProperty(DeviceProperty* property)
{
    if (property == nullptr)
        return;
    std::free(property->entries);
    property->entries = nullptr;
}

FENDRAC_API int FENDRAC_CALL MSC_UsbUnlockDevice(const char* code)
{
    const DriveHold drive;
    if (!drive)
        return kNoDrive;
    // An empty code would count as a wrong one on a locked reader.
    if (code == nullptr)
        return kExchangeFailed;
    return unlock_device(*drive, code);
}

FENDRAC_API int FENDRAC_CALL MSC_ebookUsb_setTime(const void* clock)
{
    const DriveHold drive;
    if (!drive)
        return kNoDrive;
    if (clock == nullptr)
        return kExchangeFailed;
    return request_and_result(*drive, vendor::kSetTime, clock, vendor::kClockSize);
}

FENDRAC_API int FENDRAC_CALL MSC_ebookUsb_notifyBeginEnd(int value)
{
    const DriveHold drive;
    if (!drive)
        return kNoDrive;
    std::uint8_t request[4];
    write_le32(request, static_cast<std::uint32_t>(value));
    return request_and_result(*drive, vendor::kBeginEnd, request, sizeof request);
}

FENDRAC_API int FENDRAC_CALL msc_CheckMediaState(void* state)
{
    const DriveHold drive;
    if (!drive)
        return kNoDrive;
    return drive->DispatchRead(vendor::kMediaState, state, 8, 0) == kOk ? kOk : kExchangeFailed;
}

FENDRAC_API int FENDRAC_CALL MSC_ebookUsb_GetFreeSpace(const char* text, void* space)
{
    const DriveHold drive;
    if (!drive)
        return kNoDrive;
    if (space == nullptr)
        return kExchangeFailed;
    const auto length = static_cast<std::uint32_t>(text != nullptr ? std::strlen(text) : 0);
    return drive->DispatchExchange(vendor::kFreeSpace, text, length, space, vendor::kFreeSpaceSize) == kOk
               ? kOk
               : kExchangeFailed;
}

FENDRAC_API int FENDRAC_CALL MSC_GetFingerPrint(void* reply, int reply_size, const void* request, int request_size)
{
    const DriveHold drive;
    if (reply == nullptr || request_size == 0 || !drive)
        return kExchangeFailed;
    // Each travels in one phase of at most 4096 bytes.
    if (request == nullptr || !fits_one_phase(request_size) || !fits_one_phase(reply_size))
        return kExchangeFailed;
    const std::int32_t result =
        drive->DispatchExchange(vendor::kFingerprint, request, static_cast<std::uint32_t>(request_size), reply,
                                static_cast<std::uint32_t>(reply_size));
    return result == kNotBuilt ? kNotOffered : result;
}

FENDRAC_API int FENDRAC_CALL MSC_GetInfo(const char* query, void* buffer, int size)
{
    const DriveHold drive;
    if (!drive)
        return kFailed;
    // The query travels in one phase.
    if (query == nullptr)
        return kExchangeFailed;
    const std::size_t length = std::strlen(query);
    if (length > kDataCapacity)
        return kExchangeFailed;
    InfoReply reply{0, buffer, size};
    const std::int32_t result =
        drive->DispatchExchange(vendor::kGetInfo, query, static_cast<std::uint32_t>(length), &reply, sizeof reply);
    if (result == kNotBuilt)
        return kNotOffered;
    return result != kOk ? result : reply.total;
}

}  // extern "C"
