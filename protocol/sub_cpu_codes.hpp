// The sub-CPU's packet codes and the lead byte of its packets (0xEE, the
// size less two, the code, a big-endian payload, an 8-bit sum; not the
// touch panel's frame). Each code has a request and a reply of fixed sizes.
#pragma once

#include <cstdint>

namespace protocol::sub_cpu {

inline constexpr std::uint8_t kLead = 0xEE;

inline constexpr std::uint8_t kRegWrite = 0x01;        // a charger register
inline constexpr std::uint8_t kRegRead = 0x02;         // a charger register
inline constexpr std::uint8_t kRegsConfig = 0x03;      // every config register
inline constexpr std::uint8_t kRegsStatus = 0x04;      // every status register
inline constexpr std::uint8_t kVersionMcu = 0x80;      // the firmware's version record
inline constexpr std::uint8_t kVersionSelf = 0x81;     // the self-update firmware's
inline constexpr std::uint8_t kReqStatus = 0xF0;       // firmware status
inline constexpr std::uint8_t kReqUpdateStart = 0xF1;  // update start
inline constexpr std::uint8_t kReqUpdateEnd = 0xF2;    // update end
inline constexpr std::uint8_t kReqWrite = 0xF3;        // 16 bytes at an address
inline constexpr std::uint8_t kReqRead = 0xF4;         // one byte at an address
inline constexpr std::uint8_t kReqErase = 0xF5;        // a block
inline constexpr std::uint8_t kReqVerify = 0xF6;       // a block
inline constexpr std::uint8_t kReqSwap = 0xF7;         // the boot cluster
inline constexpr std::uint8_t kReqReboot = 0xF8;
inline constexpr std::uint8_t kReqUpdateMode = 0xF9;  // change to update mode

}  // namespace protocol::sub_cpu
