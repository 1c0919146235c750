#include "vreader/model/devices/gadget/uevent_socket.hpp"

#include "vreader/model/core/wake_pipe.hpp"
#include "vreader/model/devices/gadget/uevent_queue.hpp"

#include <linux/netlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace vreader {

static_assert(NETLINK_KOBJECT_UEVENT == kNetlinkKobjectUevent);

bool is_uevent_socket(int domain, int type, int protocol)
{
    const int kind = type & ~(SOCK_NONBLOCK | SOCK_CLOEXEC);
    return domain == AF_NETLINK && (kind == SOCK_DGRAM || kind == SOCK_RAW) && protocol == NETLINK_KOBJECT_UEVENT;
}

std::int64_t UeventSocketFile::open(ReaderContext& context, int domain, int type, int protocol, int fd,
                                    std::unique_ptr<DeviceFile>& out)
{
    DeviceRequest opening(context, kUeventDevice, "socket");
    opening.line().add("domain", domain).add("type", type).add("protocol", protocol);
    if (const auto ended = opening.start(FaultEnds::Any))
        return *ended;
    std::string queue;
    if (const int e = open_uevent_queue(context.dir.path(), queue))
        return opening.finish(-e);
    HostFd wake(open_wake_pipe(uevent_wake_pipe(queue)));
    if (!wake.valid()) {
        const int e = errno;
        close_uevent_queue(queue);
        return opening.finish(-e);
    }
    out.reset(new UeventSocketFile(context, std::move(queue), std::move(wake), (type & SOCK_NONBLOCK) != 0));
    return opening.finish(fd);
}

UeventSocketFile::~UeventSocketFile()
{
    if (!queue_.empty())
        close_uevent_queue(queue_);
}

void UeventSocketFile::fill_stat(struct stat& st) const
{
    std::memset(&st, 0, sizeof st);
    st.st_mode = S_IFSOCK | 0777;
    st.st_nlink = 1;
    st.st_blksize = 4096;
}

std::int64_t UeventSocketFile::bind(const void* address, std::size_t length)
{
    DeviceRequest binding = node_request("bind");
    binding.line().add("path", path_).add("length", length);
    sockaddr_nl nl{};
    if (address != nullptr && length >= sizeof nl) {
        std::memcpy(&nl, address, sizeof nl);
        binding.line().add("family", nl.nl_family).add("pid", nl.nl_pid).add("groups", nl.nl_groups);
    }
    if (const auto ended = binding.start(FaultEnds::Any))
        return *ended;
    // The call copies at most a sockaddr_storage of the caller's, from an
    // address that must be there when there is anything to copy.
    if (length > sizeof(sockaddr_storage))
        return binding.finish(-EINVAL);
    if (address == nullptr && length > 0)
        return binding.finish(-EFAULT);
    if (length < sizeof nl || nl.nl_family != AF_NETLINK)
        return binding.finish(-EINVAL);
    // A socket keeps its port once bound: a later bind names that port (0
    // included, which asked for one the first time, is refused) and may
    // change the groups only. The first bind takes the port asked for, or
    // for 0 the process's id, as the kernel gives a process's first socket.
    if (bound_ && nl.nl_pid != port_)
        return binding.finish(-EINVAL);
    if (const int e = binding.lock_reader())
        return binding.finish(-e);
    if (const int e = set_uevent_listening(context_.dir.path(), queue_, (nl.nl_groups & kUeventGroup) != 0))
        return binding.finish(-e);
    if (!bound_)
        port_ = nl.nl_pid != 0 ? nl.nl_pid : static_cast<std::uint32_t>(::getpid());
    bound_ = true;
    return binding.finish(0);
}

bool UeventSocketFile::message_ready() const
{
    drain_wake_pipe(wake_.get());
    return uevent_waiting(queue_);
}

short UeventSocketFile::poll_ready(short requested) const
{
    short ready = static_cast<short>(requested & (POLLOUT | POLLWRNORM));
    if (message_ready())
        ready = static_cast<short>(ready | (requested & (POLLIN | POLLRDNORM)));
    return ready;
}

bool UeventSocketFile::read_would_block()
{
    return !nonblocking_ && !message_ready() && !fails_at_once("recv") && !fails_at_once("read");
}

std::int64_t UeventSocketFile::receive(void* buf, std::size_t count, int flags, std::string_view name)
{
    DeviceRequest receiving = node_request(name);
    receiving.line().add("path", path_).add("count", count).add("flags", flags);
    if (const auto ended = receiving.start(FaultEnds::Errors))
        return *ended;
    // A short receive hands over half of the room given: a longer message
    // is cut there, as a datagram is.
    if (receiving.faulted(FaultKind::Short))
        count /= 2;
    drain_wake_pipe(wake_.get());
    std::string message;
    if (const int e = receiving.lock_reader())
        return receiving.finish(-e);
    const int error = take_uevent(queue_, message, (flags & MSG_PEEK) != 0);
    // Nothing waits: the binding only gets here when the caller must not wait.
    if (error == ENOENT)
        return receiving.finish(-EAGAIN);
    if (error != 0)
        return receiving.finish(-EIO);
    const std::size_t copied = std::min(count, message.size());
    if (copied > 0)
        std::memcpy(buf, message.data(), copied);
    // The journal keeps a long message's start: enough to tell it.
    constexpr std::size_t kJournaled = 4096;
    receiving.line()
        .add("length", message.size())
        .add("strings", escape_uevent(std::string_view(message).substr(0, kJournaled)));
    if (copied < message.size())
        receiving.line().add("truncated", true);
    return receiving.finish(static_cast<std::int64_t>((flags & MSG_TRUNC) != 0 ? message.size() : copied),
                            receiving.fault().fired);
}

std::int64_t UeventSocketFile::write(const void*, std::size_t count)
{
    // Programs do not send to the kernel's uevent group.
    DeviceRequest write = node_request("write");
    write.line().add("path", path_).add("count", count);
    if (const auto ended = write.start_unfaulted())
        return *ended;
    return write.finish(-EPERM);
}

void UeventSocketFile::release()
{
    wake_.reset();
    close_uevent_queue(queue_);
    queue_.clear();
}

}  // namespace vreader
