// The one door through which reader programs reach devices and the system.
//
// Shipped programs link the C-library binding (platform/libc); the virtual
// reader links its own binding, which routes device nodes to its models.
// Each function behaves like the C library call of the same name: it returns
// the same values and reports failure through errno.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/times.h>
#include <sys/types.h>
#include <termios.h>
#include <time.h>

#include <cstddef>
#include <cstdio>

namespace sys {

int open(const char* path, int flags, mode_t mode = 0) noexcept;
int openat(int dirfd, const char* path, int flags, mode_t mode = 0) noexcept;
int close(int fd) noexcept;
ssize_t read(int fd, void* buf, size_t count) noexcept;
ssize_t write(int fd, const void* buf, size_t count) noexcept;
ssize_t pread(int fd, void* buf, size_t count, off_t offset) noexcept;
ssize_t pwrite(int fd, const void* buf, size_t count, off_t offset) noexcept;
off_t lseek(int fd, off_t offset, int whence) noexcept;
int ioctl(int fd, unsigned long request, void* arg) noexcept;
void* mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset) noexcept;
int munmap(void* addr, size_t length) noexcept;
int stat(const char* path, struct ::stat* st) noexcept;
int fstat(int fd, struct ::stat* st) noexcept;
int fsync(int fd) noexcept;
int poll(struct pollfd* fds, nfds_t nfds, int timeout_ms) noexcept;

int usleep(useconds_t usec) noexcept;
int nanosleep(const struct timespec* request, struct timespec* remaining) noexcept;
clock_t times(struct tms* buf) noexcept;

int tcgetattr(int fd, struct termios* t) noexcept;
int tcsetattr(int fd, int optional_actions, const struct termios* t) noexcept;
int cfsetispeed(struct termios* t, speed_t speed) noexcept;
int cfsetospeed(struct termios* t, speed_t speed) noexcept;

int pipe(int fds[2]) noexcept;

// Starts `body(argument)` on a detached POSIX thread, SIGPIPE blocked in it
// (its writes to a pipe nobody reads fail with EPIPE). 0 or an errno value.
int start_detached_thread(void* (*body)(void*), void* argument) noexcept;

int socket(int domain, int type, int protocol) noexcept;
int bind(int fd, const struct sockaddr* addr, socklen_t len) noexcept;
ssize_t recv(int fd, void* buf, size_t len, int flags) noexcept;

pid_t getpid() noexcept;
int mknod(const char* path, mode_t mode, dev_t dev) noexcept;
void sync() noexcept;
// A stdio stream on a file, as fopen opens it.
FILE* fopen(const char* path, const char* mode) noexcept;
int unlink(const char* path) noexcept;
int system(const char* command) noexcept;

// Small text attributes (sysfs, procfs). read_text reads at most size - 1
// bytes, terminates them with a NUL and returns the count, or -1 with errno.
// write_text writes the whole text in one write and returns 0 or -1.
ssize_t read_text(const char* path, char* buf, size_t size) noexcept;
int write_text(const char* path, const char* text) noexcept;

}  // namespace sys
