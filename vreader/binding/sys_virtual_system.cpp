// The virtual reader's binding of the platform layer, time and the system's
// other services: sleeps run on a virtual clock and return at once, a poll
// on modelled descriptors asks the models, an IPv4 datagram socket (for
// network interface requests) and the kernel's uevent socket are modelled,
// and what is not modelled yet fails with ENOSYS, journaled.
#include "platform/sys.hpp"

#include "platform/posix_thread.hpp"
#include "vreader/binding/binding_calls.hpp"
#include "vreader/binding/path_map.hpp"
#include "vreader/model/core/wake_pipe.hpp"
#include "vreader/model/devices/gadget/kept_nodes.hpp"
#include "vreader/model/devices/gadget/shell_commands.hpp"
#include "vreader/model/devices/gadget/uevent_socket.hpp"
#include "vreader/model/devices/net/inet_socket_file.hpp"

#include <fcntl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace sys {
namespace {

using binding::fail;
using binding::guarded;
using binding::journal_call;
using vreader::JsonLine;
using vreader::Process;

// In a program with threads, a sleep of a millisecond or more is a thread
// pacing itself against the others and the world: it takes real time too.
// Shorter sleeps (a polling loop's) and every sleep of a single-threaded
// program only advance the virtual clock.
constexpr std::uint64_t kRealSleepFromNs = 1000000;

void sleep_for_real(std::unique_lock<std::mutex>& lock, std::uint64_t nanoseconds)
{
    if (Process::get().threads_started == 0 || nanoseconds < kRealSleepFromNs)
        return;
    lock.unlock();
    const timespec wait{static_cast<time_t>(nanoseconds / 1000000000u), static_cast<long>(nanoseconds % 1000000000u)};
    ::nanosleep(&wait, nullptr);
    lock.lock();
}

// Advances the virtual clock by a sleep the program asked for.
int virtual_sleep(JsonLine& line, std::uint64_t nanoseconds)
{
    Process& process = Process::get();
    std::unique_lock lock(process.mutex);
    const int error = journal_call(process, line, 0);
    if (error != 0)
        return fail<int>(error);
    process.reader().clock_ns += nanoseconds;
    sleep_for_real(lock, nanoseconds);
    return 0;
}

int not_modelled(JsonLine& line)
{
    Process& process = Process::get();
    const std::lock_guard lock(process.mutex);
    return fail<int>(journal_call(process, line, ENOSYS));
}

}  // namespace

namespace {

// A poll that waits for real, on host descriptors or on models whose input
// is a real descriptor, until something is ready, the timeout passes, or a
// "poll" fault is set meanwhile (the faults wake-up pipe is watched too). A
// model's readiness is asked of the model, before and after the wait, so a
// wake-up that brought nothing for it does not end the wait.
int wait_for_real(Process& process, std::unique_lock<std::mutex>& lock, struct pollfd* fds, nfds_t nfds, int timeout_ms,
                  bool models)
{
    for (;;) {
        std::vector<struct pollfd> real(fds, fds + nfds);
        int ready = 0;
        for (nfds_t i = 0; i < nfds; ++i) {
            fds[i].revents = 0;
            if (auto* file = process.file(fds[i].fd)) {
                fds[i].revents = file->poll_ready(fds[i].events);
                real[i].fd = fds[i].revents != 0 ? -1 : file->input_fd();  // -1: the C library skips it
                ready += fds[i].revents != 0;
            }
        }
        if (ready == 0 && models && process.reader().session().fault_pending("poll", {})) {
            JsonLine line("poll");
            line.add("nfds", static_cast<std::uint64_t>(nfds)).add("timeout", timeout_ms);
            return fail<int>(journal_call(process, line, 0));
        }
        const bool waited = ready == 0;
        const int faults_fd = models ? process.faults_wake_fd() : -1;
        real.push_back({faults_fd, POLLIN, 0});
        lock.unlock();
        const int result = ::poll(real.data(), static_cast<nfds_t>(real.size()), ready > 0 ? 0 : timeout_ms);
        const int error = errno;
        lock.lock();
        if (result < 0)
            return fail<int>(error);
        if (faults_fd >= 0 && real.back().revents != 0)
            vreader::drain_wake_pipe(faults_fd);
        for (nfds_t i = 0; i < nfds; ++i) {
            if (real[i].fd < 0 || real[i].revents == 0)
                continue;
            auto* file = process.file(fds[i].fd);
            fds[i].revents = file != nullptr ? file->poll_ready(fds[i].events) : real[i].revents;
            ready += fds[i].revents != 0;
        }
        if (ready > 0 || result == 0) {
            // A poll that waited is one of the polls a fault's "after N"
            // lets pass, though it is journaled only when it fails.
            if (models && waited) {
                auto session = process.reader().session();
                session.let_pass("poll", {});
                session.commit();
            }
            return ready;
        }
    }
}

}  // namespace

int poll(struct pollfd* fds, nfds_t nfds, int timeout_ms) noexcept
{
    return guarded(-1, [&] {
        Process& process = Process::get();
        std::unique_lock lock(process.mutex);
        // Descriptors of the host, and models whose input is a real
        // descriptor (a pipe, a pseudo-terminal), are waited on for real;
        // the other models answer at once.
        bool any_real = false;
        bool models = false;
        int ready = 0;
        for (nfds_t i = 0; i < nfds; ++i) {
            fds[i].revents = 0;
            if (auto* file = process.file(fds[i].fd)) {
                models = true;
                if (file->input_fd() >= 0) {
                    any_real = true;
                } else {
                    fds[i].revents = file->poll_ready(fds[i].events);
                    ready += fds[i].revents != 0;
                }
            } else {
                any_real |= fds[i].fd >= 0;
            }
        }
        if (any_real)
            return wait_for_real(process, lock, fds, nfds, timeout_ms, models);
        if (ready > 0)
            return ready;
        // Nothing can become ready but time, and what a device sends unasked
        // as time passes: a virtual sleep, until the first such input or the
        // timeout. Without either it could only end through a signal.
        vreader::DeviceFile* unasked = nullptr;
        std::int64_t arrives_ns = -1;
        for (nfds_t i = 0; i < nfds; ++i) {
            auto* file = (fds[i].events & POLLIN) ? process.file(fds[i].fd) : nullptr;
            const std::int64_t after = file != nullptr ? file->unasked_input_after() : -1;
            if (after >= 0 && (arrives_ns < 0 || after < arrives_ns)) {
                unasked = file;
                arrives_ns = after;
            }
        }
        const std::int64_t timeout_ns = std::int64_t{timeout_ms} * 1000000;
        if (unasked != nullptr && timeout_ms >= 0 && arrives_ns > timeout_ns)
            unasked = nullptr;
        JsonLine line("poll");
        line.add("nfds", static_cast<std::uint64_t>(nfds)).add("timeout", timeout_ms).foldable();
        const int error = journal_call(process, line, timeout_ms < 0 && unasked == nullptr ? EINTR : 0);
        if (error != 0)
            return fail<int>(error);
        const auto nanoseconds = static_cast<std::uint64_t>(unasked != nullptr ? arrives_ns : timeout_ns);
        process.reader().clock_ns += nanoseconds;
        sleep_for_real(lock, nanoseconds);
        if (unasked != nullptr)
            unasked->unasked_input_arrives();
        for (nfds_t i = 0; i < nfds; ++i) {
            auto* file = unasked != nullptr ? process.file(fds[i].fd) : nullptr;
            fds[i].revents = file != nullptr ? file->poll_ready(fds[i].events) : 0;
            ready += fds[i].revents != 0;
        }
        return ready;
    });
}

int usleep(useconds_t usec) noexcept
{
    return guarded(-1, [&] {
        JsonLine line("usleep");
        line.add("usec", usec).foldable();
        return virtual_sleep(line, std::uint64_t{usec} * 1000u);
    });
}

int nanosleep(const struct timespec* request, struct timespec* remaining) noexcept
{
    (void)remaining;  // a virtual sleep is never interrupted
    return guarded(-1, [&] {
        if (request == nullptr)
            return fail<int>(EFAULT);
        if (request->tv_sec < 0 || request->tv_nsec < 0 || request->tv_nsec > 999999999)
            return fail<int>(EINVAL);
        JsonLine line("nanosleep");
        line.add("sec", static_cast<long long>(request->tv_sec))
            .add("nsec", static_cast<long long>(request->tv_nsec))
            .foldable();
        return virtual_sleep(line, static_cast<std::uint64_t>(request->tv_sec) * 1000000000u +
                                       static_cast<std::uint64_t>(request->tv_nsec));
    });
}

clock_t times(struct tms* buf) noexcept
{
    Process& process = Process::get();
    const std::lock_guard lock(process.mutex);
    if (buf != nullptr)
        std::memset(buf, 0, sizeof *buf);
    // 100 ticks a second, counted on the virtual clock from where a 100 Hz
    // kernel starts its count: 300 s short of the 32-bit wrap, so that tick
    // arithmetic which breaks at the wrap breaks soon after boot.
    const auto ticks = static_cast<std::uint32_t>(process.reader().clock_ns / 10000000u);
    return static_cast<clock_t>(static_cast<std::int32_t>(vreader::kTicksAtBoot + ticks));
}

// Pipes are the host's: a program's threads talk through them for real.
int pipe(int fds[2]) noexcept { return ::pipe(fds); }

int start_detached_thread(void* (*body)(void*), void* argument) noexcept
{
    {
        // From now on a read may wait for what another thread brings.
        Process& process = Process::get();
        const std::lock_guard lock(process.mutex);
        ++process.threads_started;
    }
    return start_posix_detached(body, argument);
}

namespace {

using OpenSocket = std::int64_t (*)(vreader::ReaderContext&, int, int, int, int, std::unique_ptr<vreader::DeviceFile>&);

// A modelled socket gets a descriptor numbered like the device nodes'.
int open_socket(OpenSocket model, int domain, int type, int protocol)
{
    Process& process = Process::get();
    const std::lock_guard lock(process.mutex);
    vreader::ReaderContext& reader = process.reader();
    const int fd = binding::model_descriptor();
    if (fd < 0)
        return -1;
    std::unique_ptr<vreader::DeviceFile> file;
    const std::int64_t result = model(reader, domain, type, protocol, fd, file);
    if (result < 0) {
        ::close(fd);
        return fail<int>(static_cast<int>(-result));
    }
    process.files[fd] = std::move(file);
    return fd;
}

// A call on a descriptor whose model has no such call: journaled, ENOSYS.
template <class R>
R model_or_not_modelled(Process& process, std::int64_t result, JsonLine& line)
{
    if (result == -ENOSYS)
        return fail<R>(journal_call(process, line, ENOSYS));
    return binding::model_result<R>(result);
}

}  // namespace

int socket(int domain, int type, int protocol) noexcept
{
    return guarded(-1, [&] {
        // An IPv4 datagram socket answers questions about network
        // interfaces; the kernel's uevent socket brings device events.
        if (vreader::is_inet_datagram(domain, type, protocol))
            return open_socket(&vreader::InetSocketFile::open, domain, type, protocol);
        if (vreader::is_uevent_socket(domain, type, protocol))
            return open_socket(&vreader::UeventSocketFile::open, domain, type, protocol);
        JsonLine line("socket");
        line.add("domain", domain).add("type", type).add("protocol", protocol);
        return not_modelled(line);
    });
}

int bind(int fd, const struct sockaddr* addr, socklen_t len) noexcept
{
    return guarded(-1, [&] {
        JsonLine line("bind");
        line.add("fd", fd).add("length", len);
        Process& process = Process::get();
        const std::lock_guard lock(process.mutex);
        auto* file = process.file(fd);
        if (file == nullptr)
            return fail<int>(journal_call(process, line, ENOSYS));
        return model_or_not_modelled<int>(process, file->bind(addr, len), line);
    });
}

ssize_t recv(int fd, void* buf, size_t len, int flags) noexcept
{
    return guarded<ssize_t>(-1, [&]() -> ssize_t {
        JsonLine line("recv");
        line.add("fd", fd).add("length", len).add("flags", flags);
        Process& process = Process::get();
        std::unique_lock lock(process.mutex);
        auto* file = process.file(fd);
        if (file == nullptr)
            return fail<ssize_t>(journal_call(process, line, ENOSYS));
        if ((flags & MSG_DONTWAIT) == 0)
            file = binding::wait_for_input(process, lock, fd);
        if (file == nullptr)
            return fail<ssize_t>(EBADF);
        return model_or_not_modelled<ssize_t>(process, file->recv(buf, len, flags), line);
    });
}

int mknod(const char* path, mode_t mode, dev_t dev) noexcept
{
    return guarded(-1, [&] {
        // mknod makes the name itself: a link there is not followed.
        const auto where = vreader::map_path(path, false);
        if (where.error != 0)
            return binding::fail<int>(where.error);
        if (where.area == vreader::Area::Kept) {
            Process& process = Process::get();
            const std::lock_guard lock(process.mutex);
            return binding::model_result<int>(vreader::make_node(process.reader(), where.normal, mode, dev));
        }
        // Nodes anywhere else are not modelled: nothing is made on the host.
        JsonLine line("mknod");
        line.add("path", path != nullptr ? path : "").add("mode", mode).add("dev", static_cast<std::uint64_t>(dev));
        return not_modelled(line);
    });
}

int system(const char* command) noexcept
{
    return guarded(-1, [&] {
        // A shell is always there to ask.
        if (command == nullptr)
            return 1;
        Process& process = Process::get();
        const std::lock_guard lock(process.mutex);
        return binding::model_result<int>(vreader::run_shell_command(process.reader(), command));
    });
}

pid_t getpid() noexcept { return ::getpid(); }

// The host's disks are none of a virtual program's business: a sync is
// journaled, not done.
void sync() noexcept
{
    guarded(0, [&] {
        JsonLine line("sync");
        Process& process = Process::get();
        const std::lock_guard lock(process.mutex);
        journal_call(process, line, 0);
        return 0;
    });
}

// Streams are for ordinary files; the modelled trees have no stream form.
FILE* fopen(const char* path, const char* mode) noexcept
{
    return guarded<FILE*>(nullptr, [&]() -> FILE* {
        const auto where = vreader::map_path(path);
        if (where.error != 0 || where.area != vreader::Area::Host) {
            errno = where.error != 0 ? where.error : EACCES;
            return nullptr;
        }
        return std::fopen(where.host(path), mode);
    });
}

}  // namespace sys
