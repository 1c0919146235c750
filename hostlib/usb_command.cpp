#include "hostlib/usb_command.hpp"

#include "hostlib/os/host_device.hpp"
#include "hostlib/results.hpp"

#include <algorithm>
#include <cstring>

namespace fendrac {

CUSBCommand::CUSBCommand() : data_area(record.data), property(shared_property())
{
    std::memset(&record, 0, sizeof record);
    ScsiPassThrough& h = record.header;
    h.Length = sizeof(ScsiPassThrough);
    h.TargetId = 1;
    h.CdbLength = kVendorCdbLength;
    h.SenseInfoLength = sizeof record.sense;
    h.DataTransferLength = kDataCapacity;
    h.TimeOutValue = 10000;
    h.DataBufferOffset = kDataOffset;
    h.SenseInfoOffset = kSenseOffset;
    h.Cdb[0] = kVendorOperation;
}

std::int32_t CUSBCommand::Execute(void*, std::uint32_t, void*, std::uint32_t, void*, std::uint32_t) { return kOk; }
std::int32_t CUSBCommand::Prepare() { return kOk; }
std::int32_t CUSBCommand::Finish() { return kOk; }

namespace {

void start_phase(CUSBCommand& command, bool data_in, std::uint8_t phase, std::uint32_t length)
{
    ScsiPassThrough& h = command.record.header;
    h.ScsiStatus = 0;
    h.DataIn = data_in ? 1 : 0;
    h.Cdb[kCdbCode] = command.command_code;
    h.Cdb[kCdbPhase] = phase;
    h.DataTransferLength = std::min(length, kDataCapacity);
}

// What a phase did not move: 0 only when its exchange went through and
// moved every byte. A failed exchange moved nothing, and one that had no
// bytes to move still fails.
std::int32_t not_moved(std::uint32_t asked, bool delivered, std::uint32_t moved)
{
    if (!delivered)
        return asked != 0 ? static_cast<std::int32_t>(asked) : kEmptyPhaseFailed;
    return static_cast<std::int32_t>(asked - std::min(moved, asked));
}

}  // namespace

std::int32_t SendPhase(CUSBCommand& command, const void* data, std::uint32_t length, std::uint8_t phase)
{
    start_phase(command, false, phase, length);
    const std::uint32_t size = command.record.header.DataTransferLength;
    if (size != 0 && data != nullptr)
        std::memcpy(command.data_area, data, size);
    std::uint32_t moved = 0;
    const bool delivered = command.device_handle != nullptr && Transfer(command, moved);
    return not_moved(size, delivered, moved);
}

std::int32_t ReceivePhase(CUSBCommand& command, void* buffer, std::uint32_t capacity, std::uint32_t* received,
                          std::uint8_t phase)
{
    start_phase(command, true, phase, capacity);
    capacity = command.record.header.DataTransferLength;
    std::uint32_t moved = 0;
    const bool delivered = command.device_handle != nullptr && Transfer(command, moved);
    if (buffer == nullptr)
        return kNoBuffer;
    const std::uint32_t count = std::min(capacity, command.record.header.DataTransferLength);
    if (count != 0)
        std::memcpy(buffer, command.data_area, count);
    if (received != nullptr)
        *received = count;
    return not_moved(capacity, delivered, moved);
}

bool Transfer(CUSBCommand& command, std::uint32_t& moved)
{
    PassThroughRecord reply;
    const std::uint32_t length = command.record.header.DataTransferLength;
    const bool data_in = command.record.header.DataIn != 0;
    std::memcpy(&reply, &command.record, sizeof reply);

    bool call_ok = false;
    std::uint32_t returned = 0;
    for (int attempt = 1;; ++attempt) {
        call_ok = hostos::device_io_control(command.device_handle, hostos::kIoctlScsiPassThrough, &command.record,
                                            kDataOffset + length, &reply, sizeof reply, returned);
        const bool check_condition = reply.header.ScsiStatus == kScsiCheckCondition;
        if (!check_condition && call_ok)
            break;
        if (check_condition && (data_in || returned == 0))
            break;
        if (attempt == 10)
            break;
        hostos::sleep_ms(200);
    }
    std::memcpy(&command.record, &reply, sizeof reply);

    moved = 0;
    if (command.record.header.ScsiStatus == kScsiCheckCondition || !call_ok) {
        hostos::debug_output_wide(L"Transfer Error2 ");
        returned = 0;
    } else if (data_in) {
        moved = returned == kDataOffset + length ? length : 0;
    } else {
        // The driver leaves in DataTransferLength the bytes the device took.
        moved = std::min(command.record.header.DataTransferLength, length);
    }
    if (returned == 0) {
        hostos::debug_output_wide(L"Transfer Error3 ");
        moved = 0;
        return false;
    }
    return true;
}

}  // namespace fendrac
