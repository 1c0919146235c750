// The media eject's device tree on Linux: the setup API and configuration
// manager have no counterpart here, so no disk interface is ever found and
// an eject takes the library's reconnect path.
#include "hostlib/os/host_eject.hpp"

#include <cstdlib>

namespace hostos {

Handle disk_interface_list() { return invalid_handle(); }
bool enum_disk_interface(Handle, std::uint32_t, InterfaceData&) { return false; }
std::uint32_t interface_detail_size(Handle, InterfaceData&) { return 0; }
bool interface_detail(Handle, InterfaceData&, void*, std::uint32_t, DeviceInstance&) { return false; }
void destroy_interface_list(Handle) {}
Handle open_interface(const wchar_t*) { return invalid_handle(); }

void* heap_alloc_zeroed(std::uint32_t size) { return std::calloc(1, size); }
void heap_free(void* block) { std::free(block); }

bool parent_of(DeviceInstance, DeviceInstance&) { return false; }
bool devnode_status(DeviceInstance, std::uint32_t&, std::uint32_t&) { return false; }
bool device_id(DeviceInstance, wchar_t*, std::uint32_t) { return false; }
bool locate_devnode(const wchar_t*, DeviceInstance&) { return false; }
bool request_eject(DeviceInstance) { return false; }

}  // namespace hostos
