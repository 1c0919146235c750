// The reader's network interfaces, as the kernel answers a hardware-address
// request about them: net.conf in the reader's directory, key=value, for a
// person or a test to edit (or through `vreader set DIR net.NAME.KEY VALUE`):
//
//     wlan0.mac=06:3F:A2:91:5C:E7    the interface's hardware address
//     wlan0.appears_after=0          seconds of the program's clock before
//                                    the interface exists: a Wi-Fi driver
//                                    that is still loading
//
// A file with no interface lines is a reader without network interfaces; a
// reader made before the file existed has the default Wi-Fi interface.
// Names follow the kernel's rules: 1 to 15 characters, no '/', ':' or
// blank, not "." or "..".
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vreader {

inline constexpr std::string_view kNetworkFile = "net.conf";
inline constexpr std::string_view kDefaultWifiName = "wlan0";

using MacAddress = std::array<std::uint8_t, 6>;

// Locally administered, unicast: a Wi-Fi chip's address set by its driver.
inline constexpr MacAddress kDefaultWifiMac = {0x06, 0x3F, 0xA2, 0x91, 0x5C, 0xE7};

inline constexpr std::uint32_t kMaxAppearsAfter = 3600;

struct NetInterface {
    std::string name;
    MacAddress mac{};
    std::uint32_t appears_after_s = 0;
    bool operator==(const NetInterface&) const = default;
};

using NetInterfaces = std::vector<NetInterface>;

// One Wi-Fi interface named `wifi` with the default address; none for an
// empty name.
NetInterfaces default_interfaces(std::string_view wifi = kDefaultWifiName);

bool valid_interface_name(std::string_view name);

// "06:3F:A2:91:5C:E7"; parsing takes either case.
std::string format_mac(const MacAddress& mac);
std::optional<MacAddress> parse_mac(std::string_view text);

std::string format_interfaces(const NetInterfaces& interfaces);
bool parse_interfaces(std::string_view text, NetInterfaces& out, std::string& error);

// A missing file is a reader made before it: the defaults.
bool load_interfaces(const std::string& path, NetInterfaces& out, std::string& error);
int save_interfaces(const std::string& path, const NetInterfaces& interfaces);

// Changes one interface: "NAME.mac" (adds the interface when it is new),
// "NAME.appears_after" SECONDS, or "NAME" none (removes it). Empty, or why
// the change is refused.
std::string set_interface_key(NetInterfaces& interfaces, std::string_view key, std::string_view value);

// The interface the kernel knows as `name` when the program's clock reads
// `clock_ns`; nullptr while it does not exist.
const NetInterface* interface_at(const NetInterfaces& interfaces, std::string_view name, std::uint64_t clock_ns);

}  // namespace vreader
