// What the virtual library's device layers share: the reader they reach
// and the lock that keeps one exchange at a time on it.
#pragma once

#include "hostlib/os/host_system.hpp"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace vreader {
class UsbStorage;
}

namespace hostos::virtual_reader {

// $VREADER_DIR, as this process names paths; empty when unset.
std::string directory();
std::mutex& lock();
// The reader's USB side, opened on first use; null when there is none.
// The caller holds lock().
vreader::UsbStorage* storage();

// The volume behind a handle the virtual layer gave out.
bool volume_of(Handle handle, int& volume);

// The device-control requests of the media eject (the volume lock, the
// device number of a volume or a disk interface): the call's outcome, or
// nothing when the request is not one of them.
std::optional<bool> eject_io_control(Handle handle, std::uint32_t code, void* out, std::uint32_t out_size,
                                     std::uint32_t& returned);

}  // namespace hostos::virtual_reader
