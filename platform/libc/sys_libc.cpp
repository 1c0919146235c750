// The shipped binding of the platform layer: every call goes straight to the
// C library. This is the only object of a shipped program that may name the
// C library's device functions.
#include "platform/sys.hpp"

#include "platform/posix_thread.hpp"
#include "platform/standard_descriptors.hpp"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace sys {
namespace {

// Before main and before the program's other constructors (101 is the first
// priority left to programs), so that nothing can open a device on a closed
// standard descriptor.
[[gnu::constructor(101)]] void standard_descriptors_at_start() { open_standard_descriptors(); }

}  // namespace

int open(const char* path, int flags, mode_t mode) noexcept { return ::open(path, flags, mode); }

int openat(int dirfd, const char* path, int flags, mode_t mode) noexcept { return ::openat(dirfd, path, flags, mode); }

int close(int fd) noexcept { return ::close(fd); }
ssize_t read(int fd, void* buf, size_t count) noexcept { return ::read(fd, buf, count); }
ssize_t write(int fd, const void* buf, size_t count) noexcept { return ::write(fd, buf, count); }

ssize_t pread(int fd, void* buf, size_t count, off_t offset) noexcept { return ::pread(fd, buf, count, offset); }

ssize_t pwrite(int fd, const void* buf, size_t count, off_t offset) noexcept
{
    return ::pwrite(fd, buf, count, offset);
}

off_t lseek(int fd, off_t offset, int whence) noexcept { return ::lseek(fd, offset, whence); }
int ioctl(int fd, unsigned long request, void* arg) noexcept { return ::ioctl(fd, request, arg); }

void* mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset) noexcept
{
    return ::mmap(addr, length, prot, flags, fd, offset);
}

int munmap(void* addr, size_t length) noexcept { return ::munmap(addr, length); }
int stat(const char* path, struct ::stat* st) noexcept { return ::stat(path, st); }
int fstat(int fd, struct ::stat* st) noexcept { return ::fstat(fd, st); }
int fsync(int fd) noexcept { return ::fsync(fd); }
int poll(struct pollfd* fds, nfds_t nfds, int timeout_ms) noexcept { return ::poll(fds, nfds, timeout_ms); }

int usleep(useconds_t usec) noexcept { return ::usleep(usec); }

int nanosleep(const struct timespec* request, struct timespec* remaining) noexcept
{
    return ::nanosleep(request, remaining);
}

clock_t times(struct tms* buf) noexcept { return ::times(buf); }

int tcgetattr(int fd, struct termios* t) noexcept { return ::tcgetattr(fd, t); }

int tcsetattr(int fd, int optional_actions, const struct termios* t) noexcept
{
    return ::tcsetattr(fd, optional_actions, t);
}

int cfsetispeed(struct termios* t, speed_t speed) noexcept { return ::cfsetispeed(t, speed); }
int cfsetospeed(struct termios* t, speed_t speed) noexcept { return ::cfsetospeed(t, speed); }

int pipe(int fds[2]) noexcept { return ::pipe(fds); }

int start_detached_thread(void* (*body)(void*), void* argument) noexcept
{
    return start_posix_detached(body, argument);
}

int socket(int domain, int type, int protocol) noexcept { return ::socket(domain, type, protocol); }

int bind(int fd, const struct sockaddr* addr, socklen_t len) noexcept { return ::bind(fd, addr, len); }

ssize_t recv(int fd, void* buf, size_t len, int flags) noexcept { return ::recv(fd, buf, len, flags); }

pid_t getpid() noexcept { return ::getpid(); }
int mknod(const char* path, mode_t mode, dev_t dev) noexcept { return ::mknod(path, mode, dev); }
void sync() noexcept { ::sync(); }
FILE* fopen(const char* path, const char* mode) noexcept { return std::fopen(path, mode); }
int unlink(const char* path) noexcept { return ::unlink(path); }
int system(const char* command) noexcept { return std::system(command); }

ssize_t read_text(const char* path, char* buf, size_t size) noexcept
{
    if (size == 0) {
        errno = EINVAL;
        return -1;
    }
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    size_t used = 0;
    while (used < size - 1) {
        const ssize_t n = ::read(fd, buf + used, size - 1 - used);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int saved = errno;
            ::close(fd);
            errno = saved;
            return -1;
        }
        if (n == 0)
            break;
        used += static_cast<size_t>(n);
    }
    buf[used] = '\0';
    ::close(fd);
    return static_cast<ssize_t>(used);
}

int write_text(const char* path, const char* text) noexcept
{
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    const size_t length = std::strlen(text);
    const ssize_t n = ::write(fd, text, length);
    const int saved = errno;
    ::close(fd);
    if (n < 0) {
        errno = saved;
        return -1;
    }
    if (static_cast<size_t>(n) != length) {
        errno = EIO;
        return -1;
    }
    return 0;
}

}  // namespace sys
