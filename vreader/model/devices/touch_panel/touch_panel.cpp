#include "vreader/model/devices/touch_panel/touch_panel.hpp"

#include <algorithm>

namespace vreader::touch_panel {
namespace {

void put16(Frame& frame, std::uint16_t value)
{
    frame.push_back(static_cast<std::uint8_t>(value));
    frame.push_back(static_cast<std::uint8_t>(value >> 8));
}

Frame framed(std::uint8_t code, const Frame& payload)
{
    Frame frame{kLead, static_cast<std::uint8_t>(payload.size() + 1), code};
    frame.insert(frame.end(), payload.begin(), payload.end());
    return frame;
}

// A frame holds at most 254 bytes after the length: longer lists are cut,
// the Y list first.
AxisLists fitted(AxisLists lists)
{
    constexpr std::size_t kRoom = 255 - 3;
    lists.y.resize(std::min(lists.y.size(), kRoom - std::min(lists.x.size(), kRoom)));
    lists.x.resize(std::min(lists.x.size(), kRoom));
    return lists;
}

}  // namespace

std::size_t parameter_count(std::uint8_t code)
{
    switch (code) {
    case kSetConfig:
        return 4;
    case kFixedPulse:
        return 1;
    default:
        return 0;
    }
}

Frame answer(const std::vector<std::uint8_t>& request, TouchPanelContent& content, bool& changed)
{
    const std::uint8_t code = request.at(0);
    switch (code) {
    case kDeactive:
    case kActive:
        content.active = code == kActive;
        changed = true;
        return framed(code, {0});
    case kSetConfig:
        content.config = request[1] | std::uint32_t{request[2]} << 8 | std::uint32_t{request[3]} << 16 |
                         std::uint32_t{request[4]} << 24;
        changed = true;
        return framed(code, {0});
    case kVersion: {
        Frame payload;
        for (const std::uint16_t part : content.version)
            put16(payload, part);
        return framed(code, payload);
    }
    case kFixedPulse: {
        const AxisLists lists = fitted(light_at(content, request[1]));
        Frame payload{static_cast<std::uint8_t>(lists.x.size()), static_cast<std::uint8_t>(lists.y.size())};
        payload.insert(payload.end(), lists.x.begin(), lists.x.end());
        payload.insert(payload.end(), lists.y.begin(), lists.y.end());
        return framed(code, payload);
    }
    case kLedCheck1:
    case kLedCheck2: {
        const AxisLists lists = fitted(led_results(content, code));
        Frame payload{static_cast<std::uint8_t>(lists.x.size())};
        payload.insert(payload.end(), lists.x.begin(), lists.x.end());
        payload.push_back(static_cast<std::uint8_t>(lists.y.size()));
        payload.insert(payload.end(), lists.y.begin(), lists.y.end());
        return framed(code, payload);
    }
    case kStatus:
        return framed(code, status_record(content));
    default:
        // Touch start streams reports instead; unknown commands go unanswered.
        return {};
    }
}

std::vector<Frame> deliver(Frame frame, const std::vector<FaultHit>& faults)
{
    std::size_t pieces = 1;
    for (const FaultHit& fault : faults) {
        const auto byte = static_cast<std::uint8_t>(fault.value);
        if (frame.empty() || fault.kind == FaultKind::Silent)
            return {};
        if (fault.kind == FaultKind::Lead)
            frame[0] = byte;
        else if (fault.kind == FaultKind::Len && frame.size() > 1) {
            frame[1] = byte;
            frame.resize(std::min<std::size_t>(frame.size(), std::size_t{byte} + 2));
        } else if (fault.kind == FaultKind::Code && frame.size() > 2)
            frame[2] = byte;
        else if (fault.kind == FaultKind::Result && frame.size() > 3)
            frame[3] = byte;
        else if (fault.kind == FaultKind::Split)
            pieces = fault.value;
    }
    if (frame.empty())
        return {};
    std::vector<Frame> out;
    pieces = std::min(pieces, frame.size());
    for (std::size_t i = 0, at = 0; i < pieces; ++i) {
        const std::size_t size = (frame.size() - at) / (pieces - i);
        out.emplace_back(frame.begin() + static_cast<long>(at), frame.begin() + static_cast<long>(at + size));
        at += size;
    }
    return out;
}

}  // namespace vreader::touch_panel
