// The requests the display programs send to the framebuffer node and the
// reader's display driver answers: the standard framebuffer requests and the
// EPDC update extension (request group 'F'). The numbers are the reader's
// own 32-bit encodings; the extension's carry their argument's size, so they
// are kept as written rather than rebuilt from a host's structure sizes.
#pragma once

#include <cstdint>

namespace protocol::epdc {

inline constexpr std::uint32_t kGetVarInfo = 0x4600;              // FBIOGET_VSCREENINFO
inline constexpr std::uint32_t kPutVarInfo = 0x4601;              // FBIOPUT_VSCREENINFO
inline constexpr std::uint32_t kGetFixInfo = 0x4602;              // FBIOGET_FSCREENINFO
inline constexpr std::uint32_t kPanDisplay = 0x4606;              // FBIOPAN_DISPLAY
inline constexpr std::uint32_t kSetTemperature = 0x4004462C;      // int32 in
inline constexpr std::uint32_t kSendUpdate = 0x4044462E;          // 68-byte update record in
inline constexpr std::uint32_t kSetPwrdownDelay = 0x40044630;     // int32 in
inline constexpr std::uint32_t kSetUpdateScheme = 0x40044632;     // uint32 in
inline constexpr std::uint32_t kGetPmicTemperature = 0x80044633;  // int32 out
inline constexpr std::uint32_t kSetVcom = 0x40044637;             // uint32 in
inline constexpr std::uint32_t kGetVcom = 0x80044638;             // uint32 out
inline constexpr std::uint32_t kGetWfVersion = 0x800A4639;        // 10 bytes out
inline constexpr std::uint32_t kWriteWaveform = 0x4008463A;       // uint32 size, then the data's address
inline constexpr std::uint32_t kWriteStandbyScreen = 0x4004463B;  // address of a full-screen image
inline constexpr std::uint32_t kSetPanelInitFlag = 0x4001463C;    // one byte in

}  // namespace protocol::epdc
