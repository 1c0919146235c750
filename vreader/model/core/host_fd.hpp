// The owner of a descriptor a model opens on the host (a backing file, a
// pipe, a pseudo-terminal's end): it closes it when the owner goes, so no
// path of a model's code can leak one or close one twice. The models are
// host code and call the C library straight, never the platform layer,
// whose virtual binding they serve.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace vreader {

class HostFd {
public:
    HostFd() = default;
    explicit HostFd(int fd) noexcept : fd_(fd) {}
    HostFd(HostFd&& other) noexcept : fd_(other.release()) {}
    HostFd& operator=(HostFd&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    HostFd(const HostFd&) = delete;
    HostFd& operator=(const HostFd&) = delete;
    ~HostFd() { reset(); }

    int get() const noexcept { return fd_; }
    bool valid() const noexcept { return fd_ >= 0; }
    int release() noexcept { return std::exchange(fd_, -1); }
    void reset(int fd = -1) noexcept
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }
    // Closes now, for a caller that must know whether the last writes
    // reached the file: 0 or an errno value.
    int close() noexcept
    {
        if (fd_ < 0)
            return 0;
        return ::close(release()) == 0 ? 0 : errno;
    }

private:
    int fd_ = -1;
};

}  // namespace vreader
