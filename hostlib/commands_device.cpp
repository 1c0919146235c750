#include "hostlib/commands_device.hpp"

#include "hostlib/include/fendrac.h"
#include "hostlib/little_endian.hpp"
#include "hostlib/results.hpp"
#include "protocol/vendor_records.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace fendrac {
namespace {

constexpr std::uint32_t kPropertyReplySize = sizeof(vendor::PropertyBlock);
constexpr std::uint32_t kPropertyCountAt = offsetof(vendor::PropertyBlock, count);
constexpr std::uint32_t kPropertyBlockSize = offsetof(vendor::PropertyBlock, entry);
constexpr std::uint32_t kPropertyEntrySize = sizeof(vendor::PropertyBlock::entry);
constexpr std::uint32_t kMediaReplySize = vendor::kMediaStateSize;

}  // namespace

std::int32_t CUSBCommand_ReqUsbConnect::Execute(void* request, std::uint32_t length, void*, std::uint32_t, void* reply,
                                                std::uint32_t)
{
    if (SendPhase(*this, request, length, kPhaseOpening) != 0)
        return kRequestFailed;
    std::uint32_t received = 0;
    if (ReceivePhase(*this, reply, 4, &received, kPhaseClosing) != 0)
        return kReplyFailed;
    return received < 4 ? kPhaseFailed : kOk;
}

std::int32_t CUSBCommand_GetUSBProtocolVersion::Prepare()
{
    record.header.Cdb[kCdbSelector] = static_cast<std::uint8_t>(selector);
    return kOk;
}

std::int32_t CUSBCommand_GetUSBProtocolVersion::Execute(void* request, std::uint32_t length, void*, std::uint32_t,
                                                        void*, std::uint32_t)
{
    return ReceivePhase(*this, request, length, nullptr, kPhaseOpening) == 0 ? kOk : kFailed;
}

std::int32_t CUSBCommand_GetProperty::Execute(void* request, std::uint32_t, void*, std::uint32_t, void*, std::uint32_t)
{
    std::uint8_t reply[kPropertyReplySize];
    if (ReceivePhase(*this, reply, sizeof reply, nullptr, kPhaseOpening) != 0)
        return kPhaseFailed;
    if (request == nullptr)
        return kFailed;
    auto* block = static_cast<DeviceProperty*>(request);
    // The block up to the count, then the entries: the reply holds one, so
    // only what it holds is copied and the count says so.
    std::memcpy(block, reply, offsetof(DeviceProperty, entries));
    const std::uint32_t present = std::min<std::uint32_t>(read_le32(reply + kPropertyCountAt), 1);
    void* entries = std::malloc(std::max<std::uint32_t>(present * kPropertyEntrySize, 1));
    if (entries == nullptr)
        return kOutOfMemory;
    std::memcpy(entries, reply + kPropertyBlockSize, std::size_t{present} * kPropertyEntrySize);
    block->entry_count = present;
    block->entries = static_cast<DevicePropertyEntry*>(entries);
    return kOk;
}

std::int32_t ReceiveReply(CUSBCommand& command, void* reply, std::uint32_t reply_length)
{
    std::uint32_t received = 0;
    if (ReceivePhase(command, reply, reply_length, &received, kPhaseClosing) != 0 || received < reply_length)
        return kPhaseFailed;
    return kOk;
}

std::int32_t CUSBCommand_PlainExchange::Execute(void* request, std::uint32_t length, void*, std::uint32_t, void* reply,
                                                std::uint32_t reply_length)
{
    if (SendPhase(*this, request, length, kPhaseOpening) != 0)
        return kPhaseFailed;
    return ReceiveReply(*this, reply, reply_length);
}

std::int32_t CUSBCommand_GetFreeSpace::Execute(void*, std::uint32_t, void*, std::uint32_t, void* reply,
                                               std::uint32_t reply_length)
{
    std::uint8_t zero[4] = {};
    return CUSBCommand_PlainExchange::Execute(zero, sizeof zero, nullptr, 0, reply, reply_length);
}

std::int32_t CUSBCommand_ConnectDevice::Execute(void* request, std::uint32_t length, void*, std::uint32_t, void*,
                                                std::uint32_t)
{
    if (request == nullptr || length != 8)
        return kBadArgument;
    std::unique_ptr<std::uint8_t[]> reply(new (std::nothrow) std::uint8_t[kMediaReplySize]);
    if (!reply)
        return kOutOfMemory;
    std::uint32_t received = 0;
    if (ReceivePhase(*this, reply.get(), kMediaReplySize, &received, kPhaseOpening) != 0 || received < kMediaReplySize)
        return kExchangeFailed;
    std::memcpy(request, reply.get() + 4, 8);
    return kOk;
}

std::int32_t CUSBCommand_GetFingerPrint::Execute(void* request, std::uint32_t length, void*, std::uint32_t, void* reply,
                                                 std::uint32_t reply_length)
{
    if (SendPhase(*this, request, length, kPhaseOpening) != 0)
        return kFailed;
    std::uint32_t received = 0;
    if (ReceivePhase(*this, reply, reply_length, &received, kPhaseClosing) != 0 || received != reply_length)
        return kFailed;
    return kOk;
}

std::int32_t CUSBCommand_GetInfo::Execute(void* request, std::uint32_t length, void*, std::uint32_t, void* reply,
                                          std::uint32_t)
{
    auto& info = *static_cast<InfoReply*>(reply);
    if (SendPhase(*this, request, length, kPhaseOpening) != 0)
        return kExchangeFailed;
    std::uint8_t word[4] = {};
    if (ReceivePhase(*this, word, sizeof word, nullptr, kPhaseContinuing) != 0)
        return kExchangeFailed;
    total = read_le32_signed(word);

    // What is still to come of what was asked for, acknowledged at the
    // end: the smaller of the total and the buffer's size (a size below 0
    // asks for nothing and is acknowledged as it is), the total when no
    // buffer asked for any of it.
    std::int32_t remaining = total;
    bool failed = false;
    if (info.buffer != nullptr) {
        remaining = std::min(total, info.buffer_size);
        auto* out = static_cast<std::uint8_t*>(info.buffer);
        std::uint8_t piece_buffer[kDataCapacity];
        while (remaining > 0) {
            const auto piece = static_cast<std::uint32_t>(std::min<std::int32_t>(remaining, kDataCapacity));
            std::uint32_t received = 0;
            if (ReceivePhase(*this, piece_buffer, piece, &received, kPhaseContinuing) != 0) {
                failed = true;
                break;
            }
            std::memcpy(out, piece_buffer, received);
            out += piece;
            remaining -= static_cast<std::int32_t>(piece);
        }
    }
    std::uint8_t acknowledgement[4];
    write_le32(acknowledgement, static_cast<std::uint32_t>(remaining));
    const std::int32_t closed = SendPhase(*this, acknowledgement, sizeof acknowledgement, kPhaseClosing);
    info.total = total;
    if (failed || closed != 0)
        return kExchangeFailed;
    return kOk;
}

}  // namespace fendrac
