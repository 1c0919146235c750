#include "vreader/model/devices/gadget/gadget_serial_file.hpp"

#include "vreader/model/core/node_open.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace vreader {
namespace {

// A pseudo-terminal: the gadget's end, non-blocking, and the PC's end, raw.
// 0 or an errno value.
int make_pty(HostFd& master, HostFd& pc_end, std::string& pc_path)
{
    HostFd gadget(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!gadget.valid())
        return errno;
    char name[64];
    if (::grantpt(gadget.get()) != 0 || ::unlockpt(gadget.get()) != 0 ||
        ::ptsname_r(gadget.get(), name, sizeof name) != 0)
        return errno;
    HostFd pc(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!pc.valid())
        return errno;
    struct termios raw {};
    ::tcgetattr(pc.get(), &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(pc.get(), TCSANOW, &raw);
    ::fcntl(gadget.get(), F_SETFL, ::fcntl(gadget.get(), F_GETFL) | O_NONBLOCK);
    master = std::move(gadget);
    pc_end = std::move(pc);
    pc_path = name;
    return 0;
}

short ready_now(int fd, short events)
{
    struct pollfd wait {
        fd, events, 0
    };
    return ::poll(&wait, 1, 0) > 0 ? wait.revents : 0;
}

}  // namespace

std::int64_t GadgetSerialFile::open(ReaderContext& context, const std::string& path, int flags, int fd,
                                    std::unique_ptr<DeviceFile>& out)
{
    const Node node{path, kGadgetDevice, kGadgetMajor, kGadgetMinor};
    Pty pty;
    int made = make_pty(pty.master, pty.pc_end, pty.pc_path);
    // The path is published only with a watcher that takes it back.
    if (made == 0)
        made = start_holder_watch(
            {context.dir.file(kLockFile), context.dir.file(kGadgetPcFile), pty.pc_path + "\n", pty.master.get()},
            pty.watcher);
    int access = 0;
    const std::int64_t result =
        journal_open(context, node.path, node.device, flags, fd, access, made != 0 ? ENODEV : 0);
    if (result < 0) {
        end_holder_watch(pty.watcher);
        return result;
    }
    Session session = context.session();
    publish_held_file(session, pty.watcher);
    JsonLine line("pc_end");
    line.add("path", pty.pc_path);
    session.finish(line, 0, false);
    out.reset(new GadgetSerialFile(context, node, access, (flags & O_NONBLOCK) != 0, std::move(pty)));
    return result;
}

GadgetSerialFile::~GadgetSerialFile() { release(); }

void GadgetSerialFile::release()
{
    if (!pty_.master.valid())
        return;
    withdraw_held_file(context_, pty_.watcher);
    pty_.master.reset();
    pty_.pc_end.reset();
}

bool GadgetSerialFile::read_would_block()
{
    return !nonblocking_ && pty_.master.valid() && (ready_now(pty_.master.get(), POLLIN) & POLLIN) == 0 &&
           !fails_at_once("read");
}

short GadgetSerialFile::poll_ready(short requested) const
{
    return !pty_.master.valid() ? 0 : static_cast<short>(ready_now(pty_.master.get(), requested) & requested);
}

std::int64_t GadgetSerialFile::read(void* buf, std::size_t count)
{
    DeviceRequest read = node_request("read");
    read.line().add("path", path_).add("count", count);
    if (const auto ended = read.start(FaultEnds::Errors))
        return *ended;
    if (access_ == O_WRONLY)
        return read.finish(-EBADF);
    // A short read takes half of what was asked for or is waiting (at least
    // a byte); the rest stays for the next read.
    const bool short_read = read.faulted(FaultKind::Short);
    std::size_t asked = count;
    if (short_read && count > 1) {
        int waiting = 0;
        if (::ioctl(pty_.master.get(), FIONREAD, &waiting) == 0 && waiting > 0)
            asked = std::min(count, static_cast<std::size_t>(waiting));
        asked = std::max<std::size_t>(1, asked / 2);
    }
    const ssize_t n = ::read(pty_.master.get(), buf, asked);
    if (n < 0)
        return read.finish(-errno, short_read);
    read.line().add("bytes", hex_bytes(buf, static_cast<std::size_t>(n)));
    return read.finish(n, short_read);
}

std::int64_t GadgetSerialFile::write(const void* buf, std::size_t count)
{
    DeviceRequest write = node_request("write");
    write.line().add("path", path_).add("count", count).add("bytes", hex_bytes(buf, count));
    if (const auto ended = write.start(FaultEnds::Errors))
        return *ended;
    if (access_ == O_RDONLY)
        return write.finish(-EBADF);
    if (write.faulted(FaultKind::Lost))
        return write.finish(static_cast<std::int64_t>(count), true);
    // A PC that does not read lets the pseudo-terminal fill up: what does
    // not fit is not written, as with a host that stopped reading.
    const bool short_write = write.faulted(FaultKind::Short);
    const ssize_t n =
        short_write && count / 2 == 0 ? 0 : ::write(pty_.master.get(), buf, short_write ? count / 2 : count);
    return write.finish(n < 0 ? -errno : n, short_write);
}

}  // namespace vreader
