// The SCSI pass-through request as the storage driver takes it (the 32-bit
// Windows layout, little-endian), followed by the sense and data areas,
// and the 10-byte vendor command block carried in it.
#pragma once

#include "protocol/vendor_commands.hpp"

#include <cstddef>
#include <cstdint>

namespace fendrac {

namespace vendor = protocol::vendor;

struct ScsiPassThrough {
    std::uint16_t Length;
    std::uint8_t ScsiStatus;
    std::uint8_t PathId;
    std::uint8_t TargetId;
    std::uint8_t Lun;
    std::uint8_t CdbLength;
    std::uint8_t SenseInfoLength;
    std::uint8_t DataIn;
    std::uint8_t padding[3];
    std::uint32_t DataTransferLength;
    std::uint32_t TimeOutValue;
    std::uint32_t DataBufferOffset;
    std::uint32_t SenseInfoOffset;
    std::uint8_t Cdb[16];
};
static_assert(sizeof(ScsiPassThrough) == 44);
static_assert(offsetof(ScsiPassThrough, ScsiStatus) == 2);
static_assert(offsetof(ScsiPassThrough, TargetId) == 4);
static_assert(offsetof(ScsiPassThrough, CdbLength) == 6);
static_assert(offsetof(ScsiPassThrough, SenseInfoLength) == 7);
static_assert(offsetof(ScsiPassThrough, DataIn) == 8);
static_assert(offsetof(ScsiPassThrough, DataTransferLength) == 12);
static_assert(offsetof(ScsiPassThrough, TimeOutValue) == 16);
static_assert(offsetof(ScsiPassThrough, DataBufferOffset) == 20);
static_assert(offsetof(ScsiPassThrough, SenseInfoOffset) == 24);
static_assert(offsetof(ScsiPassThrough, Cdb) == 28);

inline constexpr std::uint32_t kDataCapacity = vendor::kMaxPhase;

struct PassThroughRecord {
    ScsiPassThrough header;
    std::uint8_t padding[4];
    std::uint8_t sense[32];
    std::uint8_t data[kDataCapacity];
};
static_assert(sizeof(PassThroughRecord) == 4176);
static_assert(offsetof(PassThroughRecord, sense) == 48);
static_assert(offsetof(PassThroughRecord, data) == 80);

inline constexpr std::uint32_t kRecordSize = sizeof(PassThroughRecord);
inline constexpr std::uint32_t kDataOffset = offsetof(PassThroughRecord, data);
inline constexpr std::uint32_t kSenseOffset = offsetof(PassThroughRecord, sense);

inline constexpr std::uint8_t kScsiCheckCondition = 2;

// The vendor command block.
using vendor::kCdbCode;
using vendor::kCdbPhase;
using vendor::kCdbSelector;
using vendor::kVendorCdbLength;
using vendor::kVendorOperation;

enum Phase : std::uint8_t {
    kPhaseOpening = vendor::kOpening,
    kPhaseClosing = vendor::kClosing,
    kPhaseContinuing = vendor::kContinuing,
};

}  // namespace fendrac
