// What a device's nodes do with faults, as its row of the device table
// declares it: each node a fault can be scoped to ("ttymxc1:read"), the
// requests it journals and takes a fault on, and the effects each of those
// has there. `vreader fail` refuses a fault that no node could ever fire,
// and says what the node or request takes instead.
#pragma once

#include "vreader/model/core/reader_config.hpp"
#include "vreader/model/state/faults.hpp"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vreader {

inline constexpr FaultEffects kErrnoEffect = effect_bit(FaultKind::Error);
// A read that moves data; a write, which can also be lost.
inline constexpr FaultEffects kReadEffects = kErrnoEffect | effect_bit(FaultKind::Short);
inline constexpr FaultEffects kWriteEffects = kReadEffects | effect_bit(FaultKind::Lost);

// One request a node takes faults on, and what they can do to it. The name
// "reply_XX" or "scsi_XX" stands for the codes the node's scope answers.
struct FaultTake {
    std::string_view request;
    FaultEffects effects;
};

// A node, or a set of nodes, that a fault's DEVICE names.
struct FaultScope {
    std::string_view name;
    std::span<const FaultTake> takes;
    // Whether `device` names it on this reader; null: `device` is `name`.
    bool (*is)(const ReaderConfig& config, std::string_view device) = nullptr;
    // How `vreader fail` lists it ("mmcblk2", "event0 to event2"; empty
    // when this reader has no such node); null: `name`.
    std::string (*shown)(const ReaderConfig& config) = nullptr;
    // Requests the device added to the faults file (its driver's), each
    // taking an errno, and 'reject' where the name says so.
    std::span<const DeviceFaultRequest> driver_requests = {};
    // The XX of reply_XX and scsi_XX it answers.
    bool (*answers)(std::uint8_t code) = nullptr;
};

// Why no node of the reader could ever fire `fault` (one set by name, not
// "at N"): the device is not the reader's, it takes no such request, or
// the request cannot have that effect there. Empty when some node could.
std::string fault_misfit(const ReaderConfig& config, const Fault& fault);

// The names a fault's DEVICE can take on this reader, for a message.
std::string fault_scope_names(const ReaderConfig& config);

}  // namespace vreader
