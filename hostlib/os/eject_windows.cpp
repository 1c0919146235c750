// The media eject's device tree bound to the setup API and the
// configuration manager.
#include "hostlib/os/host_eject.hpp"

#include <windows.h>
#include <cfgmgr32.h>
#include <setupapi.h>
#include <winioctl.h>

#include <cstddef>

namespace hostos {
namespace {

static_assert(FSCTL_LOCK_VOLUME == kFsctlLockVolume);
static_assert(IOCTL_STORAGE_GET_DEVICE_NUMBER == kIoctlStorageGetDeviceNumber);
static_assert(DN_REMOVABLE == kDnRemovable);
static_assert(sizeof(STORAGE_DEVICE_NUMBER) == sizeof(StorageDeviceNumber));
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) <= sizeof(InterfaceData));
static_assert(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) == kDetailPathOffset);
#if !defined(_WIN64)
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) == kDetailSizeField);
static_assert(sizeof(SP_DEVINFO_DATA) == 28);
#endif

// GUID_DEVINTERFACE_DISK.
constexpr GUID kDiskInterface = {0x53f56307, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};

SP_DEVICE_INTERFACE_DATA* interface_of(InterfaceData& data)
{
    return reinterpret_cast<SP_DEVICE_INTERFACE_DATA*>(data.bytes);
}

}  // namespace

Handle disk_interface_list()
{
    return SetupDiGetClassDevsW(&kDiskInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
}

bool enum_disk_interface(Handle list, std::uint32_t index, InterfaceData& data)
{
    SP_DEVICE_INTERFACE_DATA* entry = interface_of(data);
    entry->cbSize = sizeof *entry;
    return SetupDiEnumDeviceInterfaces(list, nullptr, &kDiskInterface, index, entry) != FALSE;
}

std::uint32_t interface_detail_size(Handle list, InterfaceData& data)
{
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailW(list, interface_of(data), nullptr, 0, &size, nullptr);
    return size;
}

bool interface_detail(Handle list, InterfaceData& data, void* detail, std::uint32_t size, DeviceInstance& device)
{
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    DWORD needed = 0;
    if (!SetupDiGetDeviceInterfaceDetailW(
            list, interface_of(data), static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(detail), size, &needed, &info))
        return false;
    device = info.DevInst;
    return true;
}

void destroy_interface_list(Handle list) { SetupDiDestroyDeviceInfoList(list); }

Handle open_interface(const wchar_t* path)
{
    return CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

void* heap_alloc_zeroed(std::uint32_t size) { return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size); }
void heap_free(void* block) { HeapFree(GetProcessHeap(), 0, block); }

bool parent_of(DeviceInstance child, DeviceInstance& parent)
{
    DEVINST found = 0;
    if (CM_Get_Parent(&found, child, 0) != CR_SUCCESS)
        return false;
    parent = found;
    return true;
}

bool devnode_status(DeviceInstance device, std::uint32_t& status, std::uint32_t& problem)
{
    ULONG s = 0;
    ULONG p = 0;
    if (CM_Get_DevNode_Status(&s, &p, device, 0) != CR_SUCCESS)
        return false;
    status = s;
    problem = p;
    return true;
}

bool device_id(DeviceInstance device, wchar_t* buffer, std::uint32_t length)
{
    return CM_Get_Device_IDW(device, buffer, length, 0) == CR_SUCCESS;
}

bool locate_devnode(const wchar_t* id, DeviceInstance& device)
{
    DEVINST found = 0;
    if (CM_Locate_DevNodeW(&found, const_cast<wchar_t*>(id), 0) != CR_SUCCESS)
        return false;
    device = found;
    return true;
}

bool request_eject(DeviceInstance device)
{
    return CM_Request_Device_Eject_ExW(device, nullptr, nullptr, 0, 0, nullptr) == CR_SUCCESS;
}

}  // namespace hostos
