// The update mode and the update partitions.
#include "hostlib/commands_update.hpp"
#include "hostlib/drive.hpp"
#include "hostlib/include/fendrac.h"
#include "hostlib/little_endian.hpp"
#include "hostlib/request_blocks.hpp"
#include "hostlib/result_exchange.hpp"
#include "hostlib/results.hpp"

#include <cstdint>
#include <cstring>
#include <memory>

using namespace fendrac;

namespace {

// Whether `text` (null for none) fits a field of `limit` characters.
bool fits(const char* text, std::size_t limit) { return text == nullptr || std::strlen(text) <= limit; }

// A zeroed request with the name and the three parameters.
std::unique_ptr<PartitionCall> new_request(const char* name, unsigned first = 0, unsigned second = 0,
                                           unsigned third = 0)
{
    std::unique_ptr<PartitionCall> call = zeroed<PartitionCall>();
    if (call) {
        copy_text(call->request.name, name);
        call->request.first = first;
        call->request.second = second;
        call->request.third = third;
    }
    return call;
}

// A partition name fills its field with at least one terminating zero.
bool valid_name(const char* name) { return name != nullptr && fits(name, kPartitionNameSize - 1); }

}  // namespace

extern "C" {

FENDRAC_API int FENDRAC_CALL MSC_ReqChangeMode(int mode)
{
    const DriveHold drive;
    if (!drive)
        return kNoDrive;
    std::uint8_t request[4];
    write_le32(request, static_cast<std::uint32_t>(mode));
    return request_and_result(*drive, vendor::kUpdateMode, request, sizeof request);
}

FENDRAC_API int FENDRAC_CALL MSC_ReqDeletePartition(const char* name)
{
    const DriveHold drive;
    if (!drive)
        return kNoDrive;
    if (!valid_name(name))
        return kExchangeFailed;
    char field[kPartitionNameSize] = {};
    copy_text(field, name);
    return request_and_result(*drive, vendor::kDeletePartition, field, sizeof field);
}

FENDRAC_API int FENDRAC_CALL MSC_ReqCreatePartition(const char* name, unsigned first, unsigned second, unsigned third)
{
    const DriveHold drive;
    if (!drive)
        return kNoDrive;
    if (!valid_name(name))
        return kExchangeFailed;
    auto request = new_request(name, first, second, third);
    if (!request)
        return kOutOfMemory;
    return request_and_result(*drive, vendor::kCreatePartition, request.get(), kCreateRequestSent);
}

FENDRAC_API int FENDRAC_CALL MSC_ReqCreatePartitionWithImage(const char* name, unsigned first, unsigned second,
                                                             unsigned third, unsigned image_bytes,
                                                             const char* image_path, const char* tag, const void* extra)
{
    const DriveHold drive;
    if (!drive)
        return kNoDrive;
    if (!valid_name(name) || !fits(tag, kImageTagSize) || !fits(image_path, kImagePathSize - 1))
        return kExchangeFailed;
    auto call = new_request(name, first, second, third);
    if (!call)
        return kOutOfMemory;
    call->request.image_bytes = image_bytes;
    copy_text(call->request.tag, tag);
    std::uint32_t sent = kImageRequestSent;
    if (extra != nullptr) {
        std::memcpy(call->request.extra, extra, kExtraBlockSize);
        sent = kImageRequestWithExtraSent;
    }
    copy_text(call->image_path, image_path);
    return request_and_result(*drive, vendor::kCreatePartitionImage, call.get(), sent);
}

FENDRAC_API int FENDRAC_CALL MSC_GetPartitionSize(const char* name, unsigned* first, unsigned* second, unsigned* third)
{
    const DriveHold drive;
    if (!drive)
        return kNoDrive;
    if (!valid_name(name) || first == nullptr || second == nullptr || third == nullptr)
        return kExchangeFailed;
    auto request = new_request(name);
    if (!request)
        return kOutOfMemory;
    std::uint8_t reply[vendor::kPartitionSizeReplySize] = {};
    if (drive->DispatchExchange(vendor::kPartitionSize, request.get(), kPartitionNameSize, reply, sizeof reply) != kOk)
        return kExchangeFailed;
    *first = read_le32(reply);
    *second = read_le32(reply + 4);
    *third = read_le32(reply + 8);
    return kOk;
}

}  // extern "C"
