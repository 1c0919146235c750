// The command classes of the update mode and its partitions.
#pragma once

#include "hostlib/commands_device.hpp"
#include "hostlib/usb_command.hpp"
#include "protocol/vendor_records.hpp"

#include <cstddef>
#include <cstdint>

namespace fendrac {

using vendor::kExtraBlockSize;
using vendor::kImageTagSize;
using vendor::kPartitionNameSize;
inline constexpr std::uint32_t kImagePathSize = 256;

// What the create commands are handed: the request (without an image only
// its first 44 bytes travel, with one its first 64, 192 with the extra
// block; the upper half of `third` sets the wait before the result), then
// the image path, which stays here.
struct PartitionCall {
    vendor::PartitionRequest request;
    char image_path[kImagePathSize];
};
static_assert(offsetof(PartitionCall, image_path) == sizeof(vendor::PartitionRequest));

inline constexpr std::uint32_t kCreateRequestSent = vendor::kCreateRequestSize;
inline constexpr std::uint32_t kImageRequestSent = vendor::kImageRequestSize;
inline constexpr std::uint32_t kImageRequestWithExtraSent = vendor::kImageRequestWithExtraSize;

// Codes 112, 113 and 116: the request, then the reader's reply.
class CUSBCommand_ReqUpdateChangeMode : public CUSBCommand_PlainExchange {};
class CUSBCommand_ReqUpdateDeletePartition : public CUSBCommand_PlainExchange {};
class CUSBCommand_GetUpdatePartitionSize : public CUSBCommand_PlainExchange {};

// Code 114: the request, a wait on the host that grows with the third
// parameter's upper half, then the reader's result.
class CUSBCommand_ReqUpdateCreatePartition : public CUSBCommand {
public:
    std::int32_t Execute(void* request, std::uint32_t length, void*, std::uint32_t, void* reply,
                         std::uint32_t reply_length) override;
};

// Code 115: the request, the image file's bytes in pieces, then the
// reader's result.
class CUSBCommand_ReqUpdateCreatePartitionWithImage : public CUSBCommand {
public:
    std::int32_t Execute(void* request, std::uint32_t length, void*, std::uint32_t, void* reply,
                         std::uint32_t reply_length) override;
};

// The milliseconds the reader needs to create a partition, by the upper
// half of its third parameter: half x 95000 / 3386, truncated.
std::uint32_t creation_wait_ms(std::uint32_t third);

}  // namespace fendrac
