// One open description of a modelled device node. Results follow the
// kernel's convention: a value >= 0 for success, -errno for failure.
#pragma once

#include <poll.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <termios.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vreader {

// The major number of the kernel's misc devices, which share it and tell
// themselves apart by minor (the sub-CPU, the past-log driver's nodes).
inline constexpr unsigned kMiscMajor = 10;

// What stat shows of a character device node.
void char_device_stat(struct stat& st, unsigned major, unsigned minor);

class DeviceFile {
public:
    virtual ~DeviceFile() = default;

    virtual const std::string& path() const = 0;
    virtual void fill_stat(struct stat& st) const = 0;

    virtual std::int64_t read(void*, std::size_t) { return -EINVAL; }
    virtual std::int64_t write(const void*, std::size_t) { return -EINVAL; }
    virtual std::int64_t pread(void*, std::size_t, std::int64_t) { return -ESPIPE; }
    virtual std::int64_t pwrite(const void*, std::size_t, std::int64_t) { return -ESPIPE; }
    virtual std::int64_t lseek(std::int64_t, int) { return -ESPIPE; }
    virtual std::int64_t ioctl(unsigned long, void*) { return -ENOTTY; }
    virtual std::int64_t mmap(void*, std::size_t, int, int, std::int64_t, void*&) { return -ENODEV; }
    // A driver with no flush of its own (a terminal, an input device, a
    // socket) has the kernel refuse fsync with EINVAL.
    virtual std::int64_t fsync() { return -EINVAL; }
    virtual std::int64_t tcgetattr(struct termios&) { return -ENOTTY; }
    virtual std::int64_t tcsetattr(int, const struct termios&) { return -ENOTTY; }
    // Sockets that a model serves; ENOSYS: the model has no such call.
    virtual std::int64_t bind(const void*, std::size_t) { return -ENOSYS; }
    virtual std::int64_t recv(void*, std::size_t, int) { return -ENOSYS; }

    // The poll events that are ready now, out of `requested`.
    virtual short poll_ready(short requested) const
    {
        return static_cast<short>(requested & (POLLIN | POLLOUT | POLLRDNORM | POLLWRNORM));
    }

    // Whether a read now would have to wait for input, and the real
    // descriptor whose input the wait can watch (-1: only another thread of
    // the process can bring input, through a model).
    virtual bool read_would_block() { return false; }
    virtual int input_fd() const { return -1; }

    // Input the device sends unasked after a while of waiting (a modem's
    // unsolicited lines): in how many nanoseconds of a poll's wait it comes,
    // or -1 when none will; `unasked_input_arrives` queues it then.
    virtual std::int64_t unasked_input_after() { return -1; }
    virtual void unasked_input_arrives() {}

    // Releases the description; the descriptor is gone whatever the result.
    virtual std::int64_t close() { return 0; }
};

}  // namespace vreader
