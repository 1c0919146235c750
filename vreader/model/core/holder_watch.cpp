// The watcher of a file that names what a program holds. It runs in a child
// of a program that may have threads: between fork and its end it makes
// only system calls, on memory prepared before the fork.
#include "vreader/model/core/holder_watch.hpp"

#include "vreader/model/state/files.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace vreader {
namespace {

// Closes the descriptors first..last; without close_range (an older kernel,
// an emulator), one by one up to the descriptor limit.
void close_between(unsigned first, unsigned last)
{
    if (first > last || ::close_range(first, last, 0) == 0)
        return;
    struct rlimit limit {};
    const unsigned end = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < 65536
                             ? static_cast<unsigned>(limit.rlim_cur)
                             : 65536u;
    for (unsigned fd = first; fd <= last && fd < end; ++fd)
        ::close(static_cast<int>(fd));
}

// Keeps `a` and `b` (b may be -1) and closes every other descriptor, so the
// watcher holds none of the program's pipes, terminals or files open.
void close_all_but(int a, int b)
{
    const auto low = static_cast<unsigned>(b < 0 ? a : std::min(a, b));
    const auto high = static_cast<unsigned>(std::max(a, b));
    if (low > 0)
        close_between(0, low - 1);
    close_between(low + 1, high - 1);
    close_between(high + 1, ~0u);
}

[[noreturn]] void watch(const HolderWatch& watch, int alive, char* buffer, std::size_t room)
{
    ::setsid();  // a signal to the program's process group leaves it
    close_all_but(alive, watch.keep_fd);
    char byte;
    for (ssize_t n; (n = ::read(alive, &byte, 1)) != 0;)
        if (n < 0 && errno != EINTR)
            break;
    const int lock = ::open(watch.lock_path.c_str(), O_RDWR | O_CLOEXEC);
    while (lock >= 0 && ::flock(lock, LOCK_EX) != 0 && errno == EINTR)
        continue;
    if (const int fd = ::open(watch.file_path.c_str(), O_RDONLY | O_CLOEXEC); fd >= 0) {
        std::size_t got = 0;
        for (ssize_t n; got < room && (n = ::read(fd, buffer + got, room - got)) > 0;)
            got += static_cast<std::size_t>(n);
        if (got == watch.content.size() && std::memcmp(buffer, watch.content.data(), got) == 0)
            ::unlink(watch.file_path.c_str());
        ::close(fd);
    }
    ::_exit(0);
}

}  // namespace

int start_holder_watch(const HolderWatch& watch_of, HolderWatcher& out)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return errno;
    const HostFd alive(fds[0]);
    HostFd holder(fds[1]);
    // One byte more than the content: a longer file is not the program's.
    std::string buffer(watch_of.content.size() + 1, '\0');
    const pid_t child = ::fork();
    if (child < 0)
        return errno;
    // The child never returns here, and so never closes through an owner.
    if (child == 0)
        watch(watch_of, alive.get(), buffer.data(), buffer.size());
    out.holder_fd = std::move(holder);
    out.pid = child;
    out.file_path = watch_of.file_path;
    out.content = watch_of.content;
    return 0;
}

void publish_held_file(Session& session, const HolderWatcher& watcher)
{
    session.lock();
    replace_file(watcher.file_path, watcher.content);
}

void withdraw_held_file(ReaderContext& context, HolderWatcher& watcher)
{
    {
        // The lock goes before the watcher is waited for: it takes the lock
        // itself on its way out.
        Session session = context.session();
        std::string named;
        if (session.lock() == 0 && read_file(watcher.file_path, named) == 0 && named == watcher.content)
            ::unlink(watcher.file_path.c_str());
    }
    end_holder_watch(watcher);
}

void end_holder_watch(HolderWatcher& watcher)
{
    watcher.holder_fd.reset();
    // ECHILD: the program had its children reaped for it.
    while (watcher.pid > 0 && ::waitpid(watcher.pid, nullptr, 0) < 0 && errno == EINTR)
        continue;
    watcher = {};
}

}  // namespace vreader
