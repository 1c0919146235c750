// The owner of a mapping a model makes on the host: it unmaps when the
// owner goes. `map_file` maps a file of the reader's directory whole, for
// a model that works on it in memory (the panel, framebuffer memory).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace vreader {

class HostMapping {
public:
    HostMapping() = default;
    HostMapping(void* address, std::size_t size) noexcept : data_(static_cast<std::uint8_t*>(address)), size_(size) {}
    HostMapping(HostMapping&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0))
    {
    }
    HostMapping& operator=(HostMapping&& other) noexcept
    {
        if (this != &other) {
            reset();
            data_ = std::exchange(other.data_, nullptr);
            size_ = std::exchange(other.size_, 0);
        }
        return *this;
    }
    HostMapping(const HostMapping&) = delete;
    HostMapping& operator=(const HostMapping&) = delete;
    ~HostMapping() { reset(); }

    // Null when nothing is mapped.
    std::uint8_t* data() const noexcept { return data_; }
    std::size_t size() const noexcept { return size_; }
    void reset() noexcept;

private:
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

// The first `size` bytes of the file at `path`, shared with the file, for
// reading or also for writing; nothing mapped when the file cannot be
// opened, is shorter, or `size` is 0.
HostMapping map_file(const std::string& path, bool writable, std::size_t size);

}  // namespace vreader
