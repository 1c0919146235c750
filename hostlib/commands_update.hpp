// The command classes of the update mode and its partitions.
#pragma once

#include "hostlib/commands_device.hpp"
#include "hostlib/usb_command.hpp"

#include <cstddef>
#include <cstdint>

namespace fendrac {

inline constexpr std::uint32_t kPartitionNameSize = 32;
inline constexpr std::uint32_t kImageTagSize = 16;
inline constexpr std::uint32_t kExtraBlockSize = 128;
inline constexpr std::uint32_t kImagePathSize = 256;

// The create request; without an image only its first 44 bytes travel, with
// one its first 64 (192 with the extra block). The image path stays here.
struct PartitionRequest {
    char name[kPartitionNameSize];
    std::uint32_t first;
    std::uint32_t second;
    std::uint32_t third;  // its upper half sets the wait before the result
    std::uint32_t image_bytes;
    char tag[kImageTagSize];
    std::uint8_t extra[kExtraBlockSize];
    char image_path[kImagePathSize];
};
static_assert(sizeof(PartitionRequest) == 448);
static_assert(offsetof(PartitionRequest, first) == 32);
static_assert(offsetof(PartitionRequest, third) == 40);
static_assert(offsetof(PartitionRequest, image_bytes) == 44);
static_assert(offsetof(PartitionRequest, tag) == 48);
static_assert(offsetof(PartitionRequest, extra) == 64);
static_assert(offsetof(PartitionRequest, image_path) == 192);

inline constexpr std::uint32_t kCreateRequestSent = offsetof(PartitionRequest, image_bytes);
inline constexpr std::uint32_t kImageRequestSent = offsetof(PartitionRequest, extra);
inline constexpr std::uint32_t kImageRequestWithExtraSent = offsetof(PartitionRequest, image_path);

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
