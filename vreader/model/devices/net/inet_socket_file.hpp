// An IPv4 datagram socket, the kind a program opens to ask the kernel about
// network interfaces. Its one request is SIOCGIFHWADDR (0x8927): the
// hardware address of the interface named in a struct ifreq, answered from
// net.conf at the program's virtual time (an interface that does not exist
// yet fails with ENODEV). The socket sends and receives nothing: a write
// fails with EDESTADDRREQ, and a read with EINTR, since no datagram will
// ever come (EAGAIN on a socket made with SOCK_NONBLOCK, which does not
// wait). Its requests and faults belong to the device "net".
#pragma once

#include "vreader/model/core/node_file.hpp"
#include "vreader/model/devices/net/network_interfaces.hpp"

#include <memory>

namespace vreader {

inline constexpr std::string_view kNetDevice = "net";
inline constexpr unsigned long kSiocgifhwaddr = 0x8927;

// Whether socket(domain, type, protocol) makes such a socket: AF_INET,
// SOCK_DGRAM (with SOCK_NONBLOCK or SOCK_CLOEXEC or not), protocol 0 or UDP.
bool is_inet_datagram(int domain, int type, int protocol);

class InetSocketFile final : public NodeFile {
public:
    // Journals the socket request and its fault; returns `fd` or -errno.
    static std::int64_t open(ReaderContext& context, int domain, int type, int protocol, int fd,
                             std::unique_ptr<DeviceFile>& out);

    void fill_stat(struct stat& st) const override;
    std::int64_t read(void* buf, std::size_t count) override;
    std::int64_t write(const void* buf, std::size_t count) override;
    std::int64_t ioctl(unsigned long request, void* arg) override;
    short poll_ready(short requested) const override;

private:
    InetSocketFile(ReaderContext& context, bool nonblocking)
        : NodeFile(context, "socket:udp", kNetDevice, O_RDWR), nonblocking_(nonblocking)
    {
    }
    std::int64_t hardware_address(void* arg);

    bool nonblocking_;
};

}  // namespace vreader
