// The display's files in the reader's directory:
//
//     epdc.state     what the display controller keeps (key=value)
//     fb0.mem        framebuffer memory, smem_len bytes
//     panel.gray     what the panel shows: 8-bit gray, native orientation
//     standby.raw    the standby screen, RGB565, when one was written
#pragma once

#include <string_view>

namespace vreader {

inline constexpr std::string_view kStateFile = "epdc.state";
inline constexpr std::string_view kMemoryFile = "fb0.mem";
inline constexpr std::string_view kPanelFile = "panel.gray";
inline constexpr std::string_view kStandbyFile = "standby.raw";

}  // namespace vreader
