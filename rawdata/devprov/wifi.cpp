// The Wi-Fi MAC address, asked of the network interface.
#include "platform/sys.hpp"
#include "platform/unique_fd.hpp"
#include "rawdata/devprov/devprov.hpp"

#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>

#include <cstring>

namespace devprov {
namespace {

constexpr int kAttempts = 10;
constexpr int kAttemptPause = 1000;  // ms: the driver may still be loading

}  // namespace

int wifi_set_mac_address(std::uint8_t* area, const char* interface)
{
    if (!in_area(kWifiMacAddress, kMacLength))
        return -1;
    // Erased first, so that a failure leaves no stale address behind.
    std::memset(area + kWifiMacAddress, 0xFF, kMacLength);
    const sys::UniqueFd query_socket(sys::socket(AF_INET, SOCK_DGRAM, 0));
    if (!query_socket.valid())
        return -1;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        sys::poll(nullptr, 0, kAttemptPause);
        ifreq request{};
        std::strncpy(request.ifr_name, interface, sizeof request.ifr_name);
        if (sys::ioctl(query_socket.get(), SIOCGIFHWADDR, &request) == 0) {
            std::memcpy(area + kWifiMacAddress, request.ifr_hwaddr.sa_data, kMacLength);
            return 0;
        }
    }
    return -1;
}

}  // namespace devprov
