#include "vreader/model/devices/net/inet_socket_file.hpp"

#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cstddef>
#include <cstdio>
#include <cstring>

namespace vreader {

// The request as the kernel reads it: the name in the first IFNAMSIZ bytes,
// the address family and bytes in the sockaddr right after it.
static_assert(kSiocgifhwaddr == SIOCGIFHWADDR);
static_assert(IFNAMSIZ == 16 && sizeof(ifreq::ifr_name) == IFNAMSIZ);
static_assert(offsetof(ifreq, ifr_hwaddr) == IFNAMSIZ);
static_assert(offsetof(sockaddr, sa_data) == 2 && sizeof(sockaddr::sa_data) >= sizeof(MacAddress));
static_assert(ARPHRD_ETHER == 1);

bool is_inet_datagram(int domain, int type, int protocol)
{
    return domain == AF_INET && (type & ~(SOCK_NONBLOCK | SOCK_CLOEXEC)) == SOCK_DGRAM &&
           (protocol == 0 || protocol == IPPROTO_UDP);
}

std::int64_t InetSocketFile::open(ReaderContext& context, int domain, int type, int protocol, int fd,
                                  std::unique_ptr<DeviceFile>& out)
{
    DeviceRequest opening(context, kNetDevice, "socket");
    opening.line().add("domain", domain).add("type", type).add("protocol", protocol);
    if (const auto ended = opening.start(FaultEnds::Any))
        return *ended;
    out.reset(new InetSocketFile(context, (type & SOCK_NONBLOCK) != 0));
    return opening.finish(fd);
}

void InetSocketFile::fill_stat(struct stat& st) const
{
    std::memset(&st, 0, sizeof st);
    st.st_mode = S_IFSOCK | 0777;
    st.st_nlink = 1;
    st.st_blksize = 4096;
}

std::int64_t InetSocketFile::read(void*, std::size_t count)
{
    DeviceRequest read = node_request("read");
    read.line().add("path", path_).add("count", count);
    if (const auto ended = read.start(FaultEnds::Errors))
        return *ended;
    return read.finish(nonblocking_ ? -EAGAIN : -EINTR);
}

std::int64_t InetSocketFile::write(const void*, std::size_t count)
{
    DeviceRequest write = node_request("write");
    write.line().add("path", path_).add("count", count);
    if (const auto ended = write.start(FaultEnds::Errors))
        return *ended;
    return write.finish(-EDESTADDRREQ);
}

short InetSocketFile::poll_ready(short requested) const
{
    return static_cast<short>(requested & (POLLOUT | POLLWRNORM));
}

std::int64_t InetSocketFile::ioctl(unsigned long request, void* arg)
{
    const auto number = static_cast<std::uint32_t>(request);
    if (number == kSiocgifhwaddr)
        return hardware_address(arg);
    DeviceRequest unknown = node_request("unknown");
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", number);
    unknown.line().add("path", path_).add("number", text);
    if (const auto ended = unknown.start_unfaulted())
        return *ended;
    return unknown.finish(-ENOTTY);
}

std::int64_t InetSocketFile::hardware_address(void* arg)
{
    DeviceRequest asked = node_request("SIOCGIFHWADDR");
    auto* request = static_cast<ifreq*>(arg);
    // The kernel ends the name at its last byte, whatever the caller left there.
    const std::string name =
        request != nullptr ? std::string(request->ifr_name, strnlen(request->ifr_name, IFNAMSIZ - 1)) : "";
    asked.line().add("name", name).add("at_us", context_.clock_ns / 1000);
    if (const auto ended = asked.start(FaultEnds::Any))
        return *ended;
    if (request == nullptr)
        return asked.finish(-EFAULT);
    NetInterfaces interfaces;
    std::string why;
    if (!load_interfaces(context_.dir.file(kNetworkFile), interfaces, why)) {
        std::fprintf(stderr, "vreader: cannot read %s: %s\n", context_.dir.file(kNetworkFile).c_str(), why.c_str());
        return asked.finish(-EIO);
    }
    const NetInterface* interface = interface_at(interfaces, name, context_.clock_ns);
    if (interface == nullptr)
        return asked.finish(-ENODEV);
    request->ifr_hwaddr.sa_family = ARPHRD_ETHER;
    std::memset(request->ifr_hwaddr.sa_data, 0, sizeof request->ifr_hwaddr.sa_data);
    std::memcpy(request->ifr_hwaddr.sa_data, interface->mac.data(), interface->mac.size());
    asked.line().add("mac", format_mac(interface->mac));
    return asked.finish(0);
}

}  // namespace vreader
