// The past-log driver's control requests, issued with `ioctl` on its control
// node, and the constant of its unlock handshake: the tool asks for a
// challenge, hands back its complement, then the complement XOR the key.
#pragma once

#include <cstdint>

namespace protocol::past_log {

inline constexpr std::uint32_t kFlush = 1;       // write the kept log out to storage
inline constexpr std::uint32_t kChallenge = 3;   // fills in a challenge
inline constexpr std::uint32_t kComplement = 4;  // takes ~challenge
inline constexpr std::uint32_t kConfirm = 5;     // takes ~challenge ^ kHandshakeKey

inline constexpr std::uint32_t kHandshakeKey = 0x5A17C3E9;

}  // namespace protocol::past_log
