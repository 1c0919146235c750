// Descriptors as the layer's handles: fd + 1, so that descriptor 0 is not
// the null handle and no descriptor is the invalid one.
#pragma once

#include "hostlib/os/host_system.hpp"

#include <cstdint>

namespace hostos::linux_handles {

inline Handle from_fd(int fd) { return reinterpret_cast<Handle>(static_cast<std::intptr_t>(fd) + 1); }

// The descriptor, or -1 for the null and invalid handles.
inline int fd_of(Handle handle)
{
    if (!usable(handle))
        return -1;
    const std::intptr_t value = reinterpret_cast<std::intptr_t>(handle) - 1;
    return value >= 0 && value <= 0x7FFFFFFF ? static_cast<int>(value) : -1;
}

}  // namespace hostos::linux_handles
