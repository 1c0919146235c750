// The PC's device tree around the reader, as the media eject of the PC
// library walks it: the reader's disk with its device number, the device
// nodes above it up to the removable USB device, and how the volume lock
// and the eject request answer. Kept in device_tree.conf in the reader's
// directory (or through `vreader set DIR tree.KEY VALUE`):
//
//     disk_number=1       the reader's disk (the PC's own disk is 0)
//     removable=1         whether a node above the disk is removable; 0
//                         leaves the chain without one
//     volume_busy=0       1: another program holds the volume open, so the
//                         volume lock is refused
//     eject=accept        the eject request: accept, veto, or hang (it
//                         answers only after 90 s, then as a veto)
//     attached=1          0 after an accepted eject: the reader's volumes
//                         are gone until it is set back to 1
//     ejects=0            accepted ejects so far
//
// Portable C++: it builds into the Windows library that runs under Wine.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vreader {

inline constexpr std::string_view kDeviceTreeFile = "device_tree.conf";

enum class EjectAnswer { Accept, Veto, Hang };

struct DeviceTree {
    std::uint32_t disk_number = 1;
    bool removable = true;
    bool volume_busy = false;
    EjectAnswer eject = EjectAnswer::Accept;
    bool attached = true;
    std::uint64_t ejects = 0;
    bool operator==(const DeviceTree&) const = default;
};

// How long a hanging eject takes before it answers.
inline constexpr std::uint32_t kEjectHangMs = 90000;

std::string format_device_tree(const DeviceTree& tree);
bool parse_device_tree(std::string_view text, DeviceTree& out, std::string& error);
std::string_view eject_answer_name(EjectAnswer answer);

// The tree of the reader in `dir` (its defaults when the file is missing);
// false with the reason.
bool load_device_tree(const std::string& dir, DeviceTree& out, std::string& error);
// 0 or an errno value.
int save_device_tree(const std::string& dir, const DeviceTree& tree);

// Whether the reader in `dir` is attached to the PC: an unreadable tree
// counts as attached, so that it never hides a reader.
bool reader_attached(const std::string& dir);

}  // namespace vreader
