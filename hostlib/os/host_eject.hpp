// What the media eject asks of Windows beyond the volume handle: the disk
// interfaces of the setup API, the configuration manager's device tree,
// the process heap and a worker thread. The shipped library binds it to the
// real API (`eject_windows.cpp`); the virtual reader and the native tests
// bind it to a device tree of their own.
#pragma once

#include "hostlib/os/host_system.hpp"

#include <cstdint>

namespace hostos {

inline constexpr std::uint32_t kFsctlLockVolume = 0x00090018;
inline constexpr std::uint32_t kIoctlStorageGetDeviceNumber = 0x002D1080;
inline constexpr std::uint32_t kDnRemovable = 0x00004000;

// A configuration manager device node.
using DeviceInstance = std::uint32_t;

// The answer of IOCTL_STORAGE_GET_DEVICE_NUMBER.
struct StorageDeviceNumber {
    std::uint32_t DeviceType;
    std::uint32_t DeviceNumber;
    std::uint32_t PartitionNumber;
};
static_assert(sizeof(StorageDeviceNumber) == 12);

// SP_DEVICE_INTERFACE_DATA as the enumeration fills it; only the binding
// reads it.
struct InterfaceData {
    alignas(8) std::uint8_t bytes[32];
};

// The detail record: its size field, then the interface's path. The size
// field holds the fixed part's size on 32-bit Windows.
inline constexpr std::uint32_t kDetailSizeField = 6;
inline constexpr std::uint32_t kDetailPathOffset = 4;

// SetupDiGetClassDevsW for the disk interface class, present devices only;
// the invalid handle on failure.
Handle disk_interface_list();
// SetupDiEnumDeviceInterfaces: false when there is no interface `index`.
bool enum_disk_interface(Handle list, std::uint32_t index, InterfaceData& data);
// SetupDiGetDeviceInterfaceDetailW without a buffer: the size it asks for.
std::uint32_t interface_detail_size(Handle list, InterfaceData& data);
// ...into `detail` (`size` bytes, its size field set by the caller), with
// the device's node.
bool interface_detail(Handle list, InterfaceData& data, void* detail, std::uint32_t size, DeviceInstance& device);
void destroy_interface_list(Handle list);

// CreateFileW with no access, shared read and write, OPEN_EXISTING.
Handle open_interface(const wchar_t* path);

// HeapAlloc on the process heap, zero-filled; HeapFree.
void* heap_alloc_zeroed(std::uint32_t size);
void heap_free(void* block);

// The configuration manager: each true when it answered CR_SUCCESS.
bool parent_of(DeviceInstance child, DeviceInstance& parent);
bool devnode_status(DeviceInstance device, std::uint32_t& status, std::uint32_t& problem);
bool device_id(DeviceInstance device, wchar_t* buffer, std::uint32_t length);
bool locate_devnode(const wchar_t* id, DeviceInstance& device);
// CM_Request_Device_Eject_ExW with no veto output, no flags, this machine.
bool request_eject(DeviceInstance device);

// CreateThread running `routine(argument)`; null on failure. The thread's
// handle is waited on with wait_thread and closed with close_handle.
using ThreadRoutine = std::uint32_t (*)(void* argument);
Handle create_thread(ThreadRoutine routine, void* argument);
WaitResult wait_thread(Handle thread, std::uint32_t timeout_ms);
void terminate_thread(Handle thread);

}  // namespace hostos
