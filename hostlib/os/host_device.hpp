// The storage devices the library reaches through Windows: volume handles,
// DeviceIoControl, and the device-open broker. The shipped library binds it
// to the real API (`device_windows.cpp`); the virtual reader binds it to its
// model of the reader's USB side.
#pragma once

#include "hostlib/os/host_system.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace hostos {

// CreateFileW / CreateFileA with GENERIC_READ | GENERIC_WRITE, shared read
// and write, OPEN_EXISTING; the invalid handle on failure.
Handle open_volume(const wchar_t* path);
Handle open_volume_ansi(const char* path);
void close_volume(Handle handle);

// DeviceIoControl: true when the call succeeded; `returned` is the output
// byte count the driver reported, set by every call (0 when none).
bool device_io_control(Handle handle, std::uint32_t code, void* in, std::uint32_t in_size, void* out,
                       std::uint32_t out_size, std::uint32_t& returned);

// Asks the device-open broker, an out-of-process COM server, to open `path`
// for process `process_id`: a handle valid in the calling process, or the
// invalid handle when there is no broker or it refuses.
Handle broker_open(const wchar_t* path, std::uint32_t process_id);

inline constexpr std::uint32_t kIoctlScsiPassThrough = 0x0004D004;

// Off Windows: the paths of the machine's volumes that may be a reader's,
// each to be identified in turn (the SCSI disks, on Linux).
std::vector<std::string> volume_nodes();

}  // namespace hostos
