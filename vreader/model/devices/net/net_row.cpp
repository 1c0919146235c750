#include "vreader/model/devices/net/net_row.hpp"

#include "vreader/model/devices/net/inet_socket_file.hpp"
#include "vreader/model/devices/net/network_interfaces.hpp"

#include <cstdio>
#include <cstring>

namespace vreader {
namespace {

// The network socket moves no data: every request takes an errno only.
constexpr FaultTake kNetTakes[] = {
    {"socket", kErrnoEffect}, {"SIOCGIFHWADDR", kErrnoEffect}, {"read", kErrnoEffect},
    {"write", kErrnoEffect},  {"close", kErrnoEffect},
};
constexpr FaultScope kNetScopes[] = {{.name = kNetDevice, .takes = kNetTakes}};

// One line an interface: its address and when it appears.
std::string print_network(Session& session)
{
    NetInterfaces interfaces;
    std::string why;
    if (!load_interfaces(session.dir().file(kNetworkFile), interfaces, why)) {
        std::printf("net=unreadable: %s\n", why.c_str());
        return {};
    }
    if (interfaces.empty())
        std::printf("net=none\n");
    for (const NetInterface& interface : interfaces)
        std::printf("net.%s=%s appears_after=%u\n", interface.name.c_str(), format_mac(interface.mac).c_str(),
                    interface.appears_after_s);
    return {};
}

bool owns_network_key(std::string_view key) { return key.starts_with("net."); }

std::string set_network_key(const ReaderDir& reader, std::string_view full_key, std::string_view value)
{
    const std::string_view key = full_key.substr(4);
    NetInterfaces interfaces;
    std::string why;
    if (!load_interfaces(reader.file(kNetworkFile), interfaces, why))
        return "cannot read " + reader.file(kNetworkFile) + ": " + why;
    if (std::string error = set_interface_key(interfaces, key, value); !error.empty())
        return "net." + std::string(key) + ": " + error;
    if (const int e = save_interfaces(reader.file(kNetworkFile), interfaces))
        return "cannot write " + reader.file(kNetworkFile) + ": " + std::strerror(e);
    return {};
}

int create_network(const std::string& root, const ReaderConfig&)
{
    return save_interfaces(root + std::string(kNetworkFile), default_interfaces());
}

}  // namespace

const DeviceRow kNetRow = {
    .name = "net",
    .fault_scopes = kNetScopes,
    .print_state = print_network,
    .owns_key = owns_network_key,
    .set_key = set_network_key,
    .create = create_network,
};

}  // namespace vreader
