#include "vreader/model/core/wake_pipe.hpp"

#include "vreader/model/core/host_fd.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace vreader {

int make_wake_pipe(const std::string& path)
{
    if (::mkfifo(path.c_str(), 0600) == 0 || errno == EEXIST)
        return 0;
    return errno;
}

int open_wake_pipe(const std::string& path)
{
    if (const int e = make_wake_pipe(path)) {
        errno = e;
        return -1;
    }
    return ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
}

void drain_wake_pipe(int fd)
{
    char bytes[256];
    while (::read(fd, bytes, sizeof bytes) > 0) {
    }
}

void wake(const std::string& path)
{
    // ENXIO: nobody holds the pipe, so nobody waits. A full pipe (EAGAIN)
    // already holds a wake-up.
    const HostFd fd(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid())
        return;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd.get(), &byte, 1);
}

}  // namespace vreader
