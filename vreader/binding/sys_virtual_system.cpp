// The virtual reader's binding of the platform layer, time and the system's
// other services: sleeps run on a virtual clock and return at once, a poll
// on modelled descriptors asks the models, and what is not modelled yet
// fails with ENOSYS, journaled.
#include "platform/sys.hpp"

#include "platform/posix_thread.hpp"
#include "vreader/binding/binding_calls.hpp"

#include <cstring>
#include <vector>

namespace sys {
namespace {

using binding::fail;
using binding::guarded;
using binding::journal_call;
using vreader::JsonLine;
using vreader::Process;

// Advances the virtual clock by a sleep the program asked for.
int virtual_sleep(JsonLine& line, std::uint64_t nanoseconds)
{
    Process& process = Process::get();
    const std::lock_guard lock(process.mutex);
    const int error = journal_call(process, line, 0);
    if (error != 0)
        return fail<int>(error);
    process.reader().clock_ns += nanoseconds;
    return 0;
}

int not_modelled(JsonLine& line)
{
    Process& process = Process::get();
    const std::lock_guard lock(process.mutex);
    return fail<int>(journal_call(process, line, ENOSYS));
}

}  // namespace

int poll(struct pollfd* fds, nfds_t nfds, int timeout_ms) noexcept
{
    return guarded(-1, [&] {
        Process& process = Process::get();
        std::unique_lock lock(process.mutex);
        std::vector<struct pollfd> real(fds, fds + nfds);
        bool any_model = false;
        bool any_real = false;
        int ready = 0;
        for (nfds_t i = 0; i < nfds; ++i) {
            if (auto* file = process.file(fds[i].fd)) {
                any_model = true;
                fds[i].revents = file->poll_ready(fds[i].events);
                if (fds[i].revents != 0)
                    ++ready;
                real[i].fd = -1;  // the C library skips negative descriptors
            } else if (fds[i].fd >= 0) {
                any_real = true;
            }
        }
        if (any_real) {
            lock.unlock();
            if (!any_model)
                return ::poll(fds, nfds, timeout_ms);
            const int result = ::poll(real.data(), nfds, ready > 0 ? 0 : timeout_ms);
            if (result < 0)
                return -1;
            for (nfds_t i = 0; i < nfds; ++i)
                if (real[i].fd >= 0)
                    fds[i].revents = real[i].revents;
            return result + ready;
        }
        if (ready > 0)
            return ready;
        // Nothing can become ready but time: a virtual sleep. Without a
        // timeout it could only end through a signal.
        JsonLine line("poll");
        line.add("nfds", static_cast<std::uint64_t>(nfds)).add("timeout", timeout_ms).foldable();
        const int error = journal_call(process, line, timeout_ms < 0 ? EINTR : 0);
        if (error != 0)
            return fail<int>(error);
        process.reader().clock_ns += static_cast<std::uint64_t>(timeout_ms) * 1000000u;
        for (nfds_t i = 0; i < nfds; ++i)
            fds[i].revents = 0;
        return 0;
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
    // 100 ticks a second, counted on the virtual clock.
    return static_cast<clock_t>(process.reader().clock_ns / 10000000u);
}

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

int socket(int domain, int type, int protocol) noexcept
{
    return guarded(-1, [&] {
        JsonLine line("socket");
        line.add("domain", domain).add("type", type).add("protocol", protocol);
        return not_modelled(line);
    });
}

int bind(int fd, const struct sockaddr* addr, socklen_t len) noexcept
{
    (void)addr;
    return guarded(-1, [&] {
        JsonLine line("bind");
        line.add("fd", fd).add("length", len);
        return not_modelled(line);
    });
}

ssize_t recv(int fd, void* buf, size_t len, int flags) noexcept
{
    (void)buf;
    return guarded<ssize_t>(-1, [&]() -> ssize_t {
        JsonLine line("recv");
        line.add("fd", fd).add("length", len).add("flags", flags);
        return not_modelled(line);
    });
}

int mknod(const char* path, mode_t mode, dev_t dev) noexcept
{
    return guarded(-1, [&] {
        JsonLine line("mknod");
        line.add("path", path != nullptr ? path : "").add("mode", mode).add("dev", static_cast<std::uint64_t>(dev));
        return not_modelled(line);
    });
}

int system(const char* command) noexcept
{
    return guarded(-1, [&] {
        JsonLine line("system");
        line.add("command", command != nullptr ? command : "");
        return not_modelled(line);
    });
}

}  // namespace sys
