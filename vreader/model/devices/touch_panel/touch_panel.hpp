// The infra-red touch-panel controller's side of its serial protocol.
// Requests are raw bytes: a command code and, for some commands, parameter
// bytes. Replies are frames: 0xEE, LEN (the bytes after it), the code, then
// the payload, little-endian where wider than a byte.
#pragma once

#include "protocol/touch_panel_codes.hpp"
#include "vreader/model/devices/touch_panel/touch_panel_content.hpp"
#include "vreader/model/state/faults.hpp"

#include <cstdint>
#include <vector>

namespace vreader::touch_panel {

using protocol::touch_panel::kLead;

using protocol::touch_panel::kActive;
using protocol::touch_panel::kDeactive;
using protocol::touch_panel::kFixedPulse;
using protocol::touch_panel::kLedCheck1;
using protocol::touch_panel::kLedCheck2;
using protocol::touch_panel::kSetConfig;
using protocol::touch_panel::kStatus;
using protocol::touch_panel::kTouchStart;
using protocol::touch_panel::kVersion;

// Parameter bytes that follow a command code.
std::size_t parameter_count(std::uint8_t code);

using Frame = std::vector<std::uint8_t>;

// The reply to one whole request (code and parameters): empty when the
// panel does not answer. Active, deactive and setconfig change `content`
// and set `changed`.
Frame answer(const std::vector<std::uint8_t>& request, TouchPanelContent& content, bool& changed);

// A reply as faults make it arrive: the pieces, one a read; none when the
// reply is silenced. A changed length cuts the frame to it, or leaves the
// frame shorter than it announces.
std::vector<Frame> deliver(Frame frame, const std::vector<FaultHit>& faults);

}  // namespace vreader::touch_panel
