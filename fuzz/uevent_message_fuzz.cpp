// The hot-plug daemon's uevent message reading on any datagram: the split
// into strings and every lookup the daemon makes, over a copy of exactly
// the bytes received, so that a read past them shows.
#include "hotplug/uevent_message.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

namespace {

// The daemon receives into a buffer of this size; a longer datagram is cut.
constexpr std::size_t kMessageMax = 64 * 1024;

constexpr std::string_view kKeys[] = {"ACTION=", "DEVNAME=", "MAJOR=", "MINOR=", "ENABLED=", "STATE="};

}  // namespace

std::int64_t last_device;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::size_t length = std::min(size, kMessageMax);
    const auto message = std::make_unique<char[]>(length);
    std::memcpy(message.get(), data, length);

    const usbhotplug::UeventMessage strings(message.get(), length);
    std::string_view string;
    for (std::size_t at = 0; strings.next(at, string);) {
        std::string_view subsystem;
        if (usbhotplug::get_param_value(string, "SUBSYSTEM=", subsystem) != nullptr && subsystem == "block")
            break;
    }
    std::string_view values[std::size(kKeys)];
    bool found[std::size(kKeys)];
    for (std::size_t i = 0; i < std::size(kKeys); ++i)
        found[i] = strings.last_value(kKeys[i], values[i]);
    // The device number as the daemon builds it from MAJOR and MINOR, once
    // a block event has both.
    if (found[2] && found[3])
        last_device = (std::int64_t{usbhotplug::parse_number(values[2])} << 8) |
                      std::int64_t{usbhotplug::parse_number(values[3])};
    return 0;
}
