// The records the reader's vendor commands carry (vendor_commands.hpp):
// their sizes and layouts, little-endian 32-bit words unless said otherwise.
// Text fields are zero-padded.
#pragma once

#include <cstddef>
#include <cstdint>

namespace protocol::vendor {

inline constexpr std::uint32_t kVersionSize = 8;      // code 1's reply: eight characters
inline constexpr std::uint32_t kUnlockCodeSize = 8;   // code 4's request: the code's text
inline constexpr std::uint32_t kClockSize = 28;       // code 7's request: the clock record
inline constexpr std::uint32_t kFreeSpaceSize = 8;    // code 8's reply: a 64-bit byte count
inline constexpr std::uint32_t kMediaStateSize = 12;  // code 10's reply: a word, then the 8-byte state

// Code 6's reply.
struct PropertyBlock {
    std::uint8_t head[32];  // reader-defined
    char device_type[52];
    std::uint8_t count[4];  // entries that follow
    std::uint8_t placeholder[4];
    char entry[256];
};
static_assert(sizeof(PropertyBlock) == 348);
static_assert(offsetof(PropertyBlock, device_type) == 32);
static_assert(offsetof(PropertyBlock, count) == 84);
static_assert(offsetof(PropertyBlock, entry) == 92);

// Codes 64 and 65: the request selection block is two text fields; both
// commands answer an 8-byte header (status, body size) before the body.
inline constexpr std::uint32_t kSelectionFieldSize = 256;
inline constexpr std::uint32_t kSelectionBlockSize = 2 * kSelectionFieldSize;
inline constexpr std::uint32_t kTunnelHeaderSize = 8;

// Codes 113 to 116 name a partition in a 32-byte field (at most 31
// characters); code 116 answers three words.
inline constexpr std::uint32_t kPartitionNameSize = 32;
inline constexpr std::uint32_t kPartitionSizeReplySize = 12;

// Codes 114 and 115: a create request travels up to `image_bytes` without an
// image (code 114), up to `extra` with one, and whole with the extra block.
struct PartitionRequest {
    char name[kPartitionNameSize];
    std::uint32_t first;
    std::uint32_t second;
    std::uint32_t third;
    std::uint32_t image_bytes;
    char tag[16];
    std::uint8_t extra[128];
};
static_assert(sizeof(PartitionRequest) == 192);
static_assert(offsetof(PartitionRequest, first) == 32);
static_assert(offsetof(PartitionRequest, third) == 40);
static_assert(offsetof(PartitionRequest, image_bytes) == 44);
static_assert(offsetof(PartitionRequest, tag) == 48);
static_assert(offsetof(PartitionRequest, extra) == 64);
inline constexpr std::uint32_t kImageTagSize = sizeof(PartitionRequest::tag);
inline constexpr std::uint32_t kExtraBlockSize = sizeof(PartitionRequest::extra);
inline constexpr std::uint32_t kCreateRequestSize = offsetof(PartitionRequest, image_bytes);
inline constexpr std::uint32_t kImageRequestSize = offsetof(PartitionRequest, extra);
inline constexpr std::uint32_t kImageRequestWithExtraSize = sizeof(PartitionRequest);

// Codes 128 to 131 name a file in a 256-byte path field; a read (code 129)
// sends the whole request, a write (code 130) all but its last word.
inline constexpr std::uint32_t kPathFieldSize = 256;
struct FileRequest {
    char path[kPathFieldSize];
    std::int32_t position;
    std::int32_t length;
    std::uint32_t option;  // read only
};
static_assert(sizeof(FileRequest) == 268);
static_assert(offsetof(FileRequest, position) == 256);
static_assert(offsetof(FileRequest, length) == 260);
static_assert(offsetof(FileRequest, option) == 264);
inline constexpr std::uint32_t kReadRequestSize = sizeof(FileRequest);
inline constexpr std::uint32_t kWriteRequestSize = offsetof(FileRequest, option);

}  // namespace protocol::vendor
