#include "vreader/model/devices/net/network_interfaces.hpp"

#include "vreader/model/state/files.hpp"
#include "vreader/model/state/key_value.hpp"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vreader {
namespace {

constexpr std::size_t kMaxNameLength = 15;  // IFNAMSIZ less its NUL

NetInterface* find(NetInterfaces& interfaces, std::string_view name)
{
    const auto it = std::find_if(interfaces.begin(), interfaces.end(),
                                 [&](const NetInterface& interface) { return interface.name == name; });
    return it == interfaces.end() ? nullptr : &*it;
}

// "wlan0.mac" into "wlan0" and "mac"; a name may hold dots itself.
bool split_key(std::string_view key, std::string_view& name, std::string_view& field)
{
    const auto dot = key.rfind('.');
    if (dot == std::string_view::npos)
        return false;
    name = key.substr(0, dot);
    field = key.substr(dot + 1);
    return true;
}

}  // namespace

NetInterfaces default_interfaces(std::string_view wifi)
{
    if (wifi.empty())
        return {};
    return {NetInterface{std::string(wifi), kDefaultWifiMac, 0}};
}

bool valid_interface_name(std::string_view name)
{
    return !name.empty() && name.size() <= kMaxNameLength && name != "." && name != ".." &&
           std::none_of(name.begin(), name.end(), [](char c) {
               return c == '/' || c == ':' || c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '=' ||
                      static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F;
           });
}

std::string format_mac(const MacAddress& mac)
{
    char text[18];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    return text;
}

std::optional<MacAddress> parse_mac(std::string_view text)
{
    MacAddress mac{};
    if (text.size() != 17)
        return std::nullopt;
    for (std::size_t i = 0; i < mac.size(); ++i) {
        if (i > 0 && text[3 * i - 1] != ':')
            return std::nullopt;
        const std::string_view pair = text.substr(3 * i, 2);
        if (!std::all_of(pair.begin(), pair.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
            return std::nullopt;
        mac[i] = static_cast<std::uint8_t>(*parse_unsigned("0x" + std::string(pair), 255));
    }
    return mac;
}

std::string format_interfaces(const NetInterfaces& interfaces)
{
    std::string text = "# the reader's network interfaces: NAME.mac, NAME.appears_after (seconds)\n";
    for (const NetInterface& interface : interfaces)
        text += interface.name + ".mac=" + format_mac(interface.mac) + "\n" + interface.name +
                ".appears_after=" + std::to_string(interface.appears_after_s) + "\n";
    return text;
}

bool parse_interfaces(std::string_view text, NetInterfaces& out, std::string& error)
{
    std::vector<KeyValue> entries;
    if (!parse_key_values(text, entries, error))
        return false;
    NetInterfaces interfaces;
    for (const auto& [key, value] : entries) {
        if (const std::string why = set_interface_key(interfaces, key, value); !why.empty()) {
            error = why;
            return false;
        }
    }
    out = std::move(interfaces);
    return true;
}

bool load_interfaces(const std::string& path, NetInterfaces& out, std::string& error)
{
    std::string text;
    const int e = read_file(path, text);
    if (e == ENOENT) {
        out = default_interfaces();
        return true;
    }
    if (e != 0) {
        error = std::strerror(e);
        return false;
    }
    return parse_interfaces(text, out, error);
}

int save_interfaces(const std::string& path, const NetInterfaces& interfaces)
{
    return replace_file(path, format_interfaces(interfaces));
}

std::string set_interface_key(NetInterfaces& interfaces, std::string_view key, std::string_view value)
{
    std::string_view name, field;
    const bool known_field =
        split_key(key, name, field) && valid_interface_name(name) && (field == "mac" || field == "appears_after");
    // "wlan0.mac none" asks for an address, not for a removal.
    if (value == "none" && valid_interface_name(key) && (find(interfaces, key) != nullptr || !known_field)) {
        std::erase_if(interfaces, [&](const NetInterface& interface) { return interface.name == key; });
        return {};
    }
    if (!known_field)
        return "'" + std::string(key) + "' is not NAME.mac, NAME.appears_after or NAME (with none)";
    NetInterface* interface = find(interfaces, name);
    if (field == "mac") {
        const auto mac = parse_mac(value);
        if (!mac)
            return "a MAC address is six hexadecimal pairs parted by colons: " + std::string(value);
        if (interface == nullptr)
            interface = &interfaces.emplace_back(NetInterface{std::string(name), {}, 0});
        interface->mac = *mac;
        return {};
    }
    if (interface == nullptr)
        return "no interface '" + std::string(name) + "': give it an address first (" + std::string(name) + ".mac)";
    const auto seconds = parse_unsigned(value, kMaxAppearsAfter);
    if (!seconds)
        return "appears_after takes whole seconds, 0 to " + std::to_string(kMaxAppearsAfter) + ": " +
               std::string(value);
    interface->appears_after_s = static_cast<std::uint32_t>(*seconds);
    return {};
}

const NetInterface* interface_at(const NetInterfaces& interfaces, std::string_view name, std::uint64_t clock_ns)
{
    for (const NetInterface& interface : interfaces)
        if (interface.name == name && clock_ns >= std::uint64_t{interface.appears_after_s} * 1000000000u)
            return &interface;
    return nullptr;
}

}  // namespace vreader
