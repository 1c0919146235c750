// The reader's vendor SCSI commands as the PC library sends them and the
// reader answers them: the 10-byte command block, the exchange phases, the
// command codes and the most data one exchange carries. A command is a run
// of exchanges, each one SCSI request with the block
//
//     byte 0 0x20, 1 0, 2 the command code, 3 0, 4 the phase (1 opening,
//     3 continuing, 2 closing), 5 the selector (code 1 only, else 0), 6-9 0
//
// and data in one direction, whose length travels only in the request's
// transfer length. Plain numbers only: how each side builds or reads an
// exchange stays with that side.
#pragma once

#include <cstdint>

namespace protocol::vendor {

inline constexpr std::uint8_t kVendorOperation = 0x20;
inline constexpr std::uint8_t kVendorCdbLength = 10;

// Where the block carries what.
inline constexpr int kCdbCode = 2;
inline constexpr int kCdbPhase = 4;
inline constexpr int kCdbSelector = 5;

// Phases.
inline constexpr std::uint8_t kOpening = 1;
inline constexpr std::uint8_t kClosing = 2;
inline constexpr std::uint8_t kContinuing = 3;

// The most data one exchange carries; longer data travels in pieces.
inline constexpr std::uint32_t kMaxPhase = 4096;

// Command codes.
inline constexpr std::uint8_t kProtocolVersion = 1;
inline constexpr std::uint8_t kConnect = 3;
inline constexpr std::uint8_t kUnlock = 4;
inline constexpr std::uint8_t kProperty = 6;
inline constexpr std::uint8_t kSetTime = 7;
inline constexpr std::uint8_t kFreeSpace = 8;
inline constexpr std::uint8_t kBeginEnd = 9;
inline constexpr std::uint8_t kMediaState = 10;
inline constexpr std::uint8_t kHttpRequest = 64;
inline constexpr std::uint8_t kHttpResponse = 65;
inline constexpr std::uint8_t kUpdateMode = 112;
inline constexpr std::uint8_t kDeletePartition = 113;
inline constexpr std::uint8_t kCreatePartition = 114;
inline constexpr std::uint8_t kCreatePartitionImage = 115;
inline constexpr std::uint8_t kPartitionSize = 116;
inline constexpr std::uint8_t kFileSize = 128;
inline constexpr std::uint8_t kFileRead = 129;
inline constexpr std::uint8_t kFileWrite = 130;
inline constexpr std::uint8_t kFileDelete = 131;
inline constexpr std::uint8_t kFingerprint = 144;  // only from the newer protocol version on
inline constexpr std::uint8_t kGetInfo = 160;      // only from the newer protocol version on

}  // namespace protocol::vendor
