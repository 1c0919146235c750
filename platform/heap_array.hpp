// An array from the C library's allocator, freed when it goes out of scope.
// The reader programs use it rather than new[] or std::vector, so that they
// need no C++ runtime library: one shared library fewer to load at every
// start, and a smaller resident set.
#pragma once

#include "platform/address_space.hpp"

#include <cstddef>
#include <cstdlib>
#include <type_traits>

namespace sys {

template <typename T>
class HeapArray {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

public:
    // `count` zeroed elements; empty (false) when the allocation fails, as
    // it does on the reader for 3 GiB or more.
    explicit HeapArray(std::size_t count)
        : data_(count <= kReaderAddressSpace / sizeof(T) - 1
                    ? static_cast<T*>(std::calloc(count != 0 ? count : 1, sizeof(T)))
                    : nullptr)
    {
    }
    ~HeapArray() { std::free(data_); }
    HeapArray(const HeapArray&) = delete;
    HeapArray& operator=(const HeapArray&) = delete;

    explicit operator bool() const { return data_ != nullptr; }
    T* get() const { return data_; }
    T& operator[](std::size_t i) const { return data_[i]; }

private:
    T* data_;
};

}  // namespace sys
