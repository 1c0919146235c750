// The fixed pulse strength measurement shared by irtp_pulse1, irtp_pulse2
// and irtp_lightlevel: the request table of the 90 levels, the exchange, and
// the X and Y light levels of the reply.
#pragma once

#include "irtp/axis_lists.hpp"
#include "platform/unique_fd.hpp"
#include "protocol/touch_panel_codes.hpp"

namespace irtp {

inline constexpr std::uint8_t kFixedPulseCode = protocol::touch_panel::kFixedPulse;

// The start every pulse tool shares after its arguments: open and set the
// port, release the line, send active. The port, or an empty owner after
// "NG".
sys::UniqueFd open_for_measurement();

// One measurement with its three attempts, each sending the level's entry
// of the request table. false when the tool must end (the failure printed,
// `exit_status` set).
bool measure(int fd, std::uint8_t level, AxisLists& lists, int& exit_status);

// What irtp_pulse2 and irtp_lightlevel share: the level argument, the port,
// active, one measurement. The port with `level` and `lists` set, or an
// empty owner when the tool ends with `exit_status`.
sys::UniqueFd measure_once(int argc, char** argv, std::uint8_t& level, AxisLists& lists, int& exit_status);

// The level argument: one or two hexadecimal digits, not 0, with an entry
// in the request table (0x01 to 0x5F, but for 0x10, 0x20, ... 0x50).
bool parse_level(const char* text, std::uint8_t& level);

}  // namespace irtp
