// The infra-red touch-panel controller's command codes on its UART, and the
// lead byte of its reply frames (0xEE, the count of bytes after it, the
// request's code, a little-endian payload; no checksum, unlike the
// sub-CPU's packets). A request is its code, then the command's parameter
// bytes.
#pragma once

#include <cstdint>

namespace protocol::touch_panel {

inline constexpr std::uint8_t kLead = 0xEE;

inline constexpr std::uint8_t kDeactive = 0x00;
inline constexpr std::uint8_t kActive = 0x01;
inline constexpr std::uint8_t kSetConfig = 0x03;
inline constexpr std::uint8_t kTouchStart = 0x04;
inline constexpr std::uint8_t kVersion = 0x0A;
inline constexpr std::uint8_t kLedCheck1 = 0x0E;
inline constexpr std::uint8_t kFixedPulse = 0x0F;
inline constexpr std::uint8_t kLedCheck2 = 0x1B;
inline constexpr std::uint8_t kStatus = 0x1E;

}  // namespace protocol::touch_panel
