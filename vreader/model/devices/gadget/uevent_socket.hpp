// The kernel's uevent netlink socket: socket(AF_NETLINK, SOCK_DGRAM or
// SOCK_RAW, NETLINK_KOBJECT_UEVENT). While bound to the uevent multicast
// group (group 1, bit 0 of nl_groups) it gets a copy of every message sent,
// into a receive queue of its own (uevent_queue.hpp); nothing sent before it
// bound. It gives one whole message a recv or read: a buffer shorter than
// the message gets its first bytes and the rest is dropped, as for any
// datagram (MSG_TRUNC returns the whole length). MSG_PEEK leaves the message
// queued, MSG_DONTWAIT or a non-blocking socket fails with EAGAIN when none
// waits; otherwise a recv waits for one, and poll sees one as input. Its
// requests and faults belong to the device "uevent".
#pragma once

#include "vreader/model/core/host_fd.hpp"
#include "vreader/model/core/node_file.hpp"

#include <memory>
#include <string>
#include <string_view>

namespace vreader {

inline constexpr std::string_view kUeventDevice = "uevent";
inline constexpr int kNetlinkKobjectUevent = 15;
inline constexpr unsigned kUeventGroup = 1;

bool is_uevent_socket(int domain, int type, int protocol);

class UeventSocketFile final : public NodeFile {
public:
    // Journals the socket request and its fault; returns `fd` or -errno.
    static std::int64_t open(ReaderContext& context, int domain, int type, int protocol, int fd,
                             std::unique_ptr<DeviceFile>& out);
    ~UeventSocketFile() override;

    void fill_stat(struct stat& st) const override;
    std::int64_t bind(const void* address, std::size_t length) override;
    std::int64_t recv(void* buf, std::size_t count, int flags) override { return receive(buf, count, flags, "recv"); }
    std::int64_t read(void* buf, std::size_t count) override { return receive(buf, count, 0, "read"); }
    std::int64_t write(const void* buf, std::size_t count) override;
    short poll_ready(short requested) const override;
    bool read_would_block() override;
    int input_fd() const override { return wake_.get(); }

private:
    UeventSocketFile(ReaderContext& context, std::string queue, HostFd wake, bool nonblocking)
        : NodeFile(context, "socket:uevent", kUeventDevice, O_RDWR),
          queue_(std::move(queue)),
          wake_(std::move(wake)),
          nonblocking_(nonblocking)
    {
    }
    bool message_ready() const;
    // A recv or a read, journaled and faulted under that name.
    std::int64_t receive(void* buf, std::size_t count, int flags, std::string_view name);
    // Leaves the receive queue.
    void release() override;

    std::string queue_;  // its receive queue's directory; empty once closed
    HostFd wake_;        // the queue's wake-up pipe
    bool nonblocking_;
    bool bound_ = false;
    std::uint32_t port_ = 0;  // the port id the first bind gave it
};

}  // namespace vreader
