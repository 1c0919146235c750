// SCSI status bytes and the fixed-format sense data that goes with a CHECK
// CONDITION, as a USB mass-storage device reports them.
#pragma once

#include <array>
#include <cstdint>

namespace vreader::scsi {

inline constexpr std::uint8_t kGood = 0x00;
inline constexpr std::uint8_t kCheckCondition = 0x02;

// Sense key with its additional sense code and qualifier.
struct Sense {
    std::uint8_t key = 0;
    std::uint8_t asc = 0;
    std::uint8_t ascq = 0;
};

inline constexpr Sense kInvalidOperation{0x05, 0x20, 0x00};        // ILLEGAL REQUEST, invalid operation code
inline constexpr Sense kInvalidCdbField{0x05, 0x24, 0x00};         // ILLEGAL REQUEST, invalid field in CDB
inline constexpr Sense kParameterLength{0x05, 0x1A, 0x00};         // ILLEGAL REQUEST, parameter list length error
inline constexpr Sense kCommandSequence{0x05, 0x2C, 0x00};         // ILLEGAL REQUEST, command sequence error
inline constexpr Sense kDataPhaseError{0x0B, 0x4B, 0x00};          // ABORTED COMMAND, data phase error
inline constexpr Sense kInternalFailure{0x04, 0x44, 0x00};         // HARDWARE ERROR, internal target failure
inline constexpr Sense kLunNotSupported{0x05, 0x25, 0x00};         // ILLEGAL REQUEST, logical unit not supported
inline constexpr Sense kMediumRemovalPrevented{0x05, 0x53, 0x02};  // ILLEGAL REQUEST, medium removal prevented
inline constexpr Sense kMediumNotPresent{0x02, 0x3A, 0x00};        // NOT READY, medium not present

inline constexpr std::size_t kFixedSenseSize = 18;

// Fixed-format sense data (response code 0x70, current error) in a 32-byte
// sense area; the bytes past the 18 it uses are zero.
inline std::array<std::uint8_t, 32> fixed_sense(const Sense& sense)
{
    std::array<std::uint8_t, 32> data{};
    data[0] = 0x70;
    data[2] = sense.key;
    data[7] = kFixedSenseSize - 8;  // additional sense length
    data[12] = sense.asc;
    data[13] = sense.ascq;
    return data;
}

}  // namespace vreader::scsi
