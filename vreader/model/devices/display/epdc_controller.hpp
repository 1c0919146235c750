// The display controller's requests on the framebuffer node: screen info,
// rotation, panning, updates and the controller's settings.
#pragma once

#include "vreader/model/core/session.hpp"
#include "vreader/model/devices/display/epdc_kept_state.hpp"
#include "vreader/model/state/json_line.hpp"

#include <cstdint>

namespace vreader {

struct RequestCall {
    Session& session;
    EpdcKeptState& state;  // the controller's settings, written back when the request ends
    JsonLine& line;        // the request's journal line; handlers add its fields
    void* arg;             // the caller's argument, as the kernel would copy it
    int fault;             // errno of an injected fault: journal the inputs, change nothing
};

// Carries out request `number` (a known controller request). Returns 0 or
// -errno; when `call.fault` is set the caller replaces the result.
std::int64_t epdc_request(std::uint32_t number, RequestCall& call);

// Refreshes the panel from framebuffer memory, as the controller does for an
// accepted update. The region is in current screen coordinates. 0 or errno.
int refresh_panel(const ReaderDir& dir, const EpdcState& state, std::uint32_t left, std::uint32_t top,
                  std::uint32_t width, std::uint32_t height, std::uint32_t waveform_mode, std::uint32_t flags);

}  // namespace vreader
