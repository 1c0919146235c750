// Owners for what the platform layer hands out: a descriptor and a mapping.
#pragma once

#include "platform/sys.hpp"

#include <sys/mman.h>

#include <cstddef>
#include <utility>

namespace sys {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.fd_, -1));
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const noexcept { return fd_; }
    bool valid() const noexcept { return fd_ >= 0; }
    int release() noexcept { return std::exchange(fd_, -1); }
    void reset(int fd = -1) noexcept
    {
        if (fd_ >= 0)
            sys::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

class Mapping {
public:
    Mapping() = default;
    Mapping(void* address, size_t length) noexcept : address_(address), length_(length) {}
    Mapping(Mapping&& other) noexcept
        : address_(std::exchange(other.address_, MAP_FAILED)), length_(std::exchange(other.length_, 0))
    {
    }
    Mapping& operator=(Mapping&& other) noexcept
    {
        if (this != &other) {
            reset();
            address_ = std::exchange(other.address_, MAP_FAILED);
            length_ = std::exchange(other.length_, 0);
        }
        return *this;
    }
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;
    ~Mapping() { reset(); }

    bool valid() const noexcept { return address_ != MAP_FAILED; }
    void* get() const noexcept { return address_; }
    size_t size() const noexcept { return length_; }
    void reset() noexcept
    {
        if (address_ != MAP_FAILED)
            sys::munmap(address_, length_);
        address_ = MAP_FAILED;
        length_ = 0;
    }

private:
    void* address_ = MAP_FAILED;
    size_t length_ = 0;
};

}  // namespace sys
