#include "tests/hostlib/scripted_tree.hpp"

#include "hostlib/os/host_device.hpp"
#include "hostlib/os/host_eject.hpp"

#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace scripted {
namespace {

struct TreeState {
    Tree tree = usb_reader_tree();
    TreeLog log;
};

TreeState& tree_state()
{
    static TreeState instance;
    return instance;
}

const hostos::Handle kList = reinterpret_cast<hostos::Handle>(0x7100);
constexpr std::uintptr_t kInterfaceHandles = 0x7200;

}  // namespace

Tree usb_reader_tree()
{
    Tree tree;
    tree.interfaces = {{L"\\\\?\\scsi#disk0", 0, 10}, {L"\\\\?\\usbstor#disk2", 2, 20}};
    tree.nodes = {{1, {0, 0, L"ROOT"}},
                  {10, {1, 0, L"SCSI\\DISK0"}},
                  {20, {21, 0, L"USBSTOR\\DISK&VEN_ZEPA"}},
                  {21, {22, hostos::kDnRemovable, L"USB\\VID_1234&PID_5678\\0001"}},
                  {22, {1, 0, L"USB\\ROOT_HUB"}}};
    return tree;
}

void set_tree(Tree tree) { tree_state() = TreeState{std::move(tree), {}}; }
const TreeLog& tree_log() { return tree_state().log; }

// The device-control requests on the volume and on the disk interfaces.
bool tree_io_control(void* handle, std::uint32_t code, void* out, std::uint32_t out_size,
                     std::uint32_t& returned, bool volume)
{
    Tree& tree = tree_state().tree;
    std::uint32_t number = 0;
    if (volume) {
        if (code == hostos::kFsctlLockVolume) {
            ++tree_state().log.locks;
            return tree.lock_works;
        }
        if (!tree.volume_number_works)
            return false;
        number = tree.volume_device_number;
    } else {
        const auto index = reinterpret_cast<std::uintptr_t>(handle) - kInterfaceHandles;
        number = tree.interfaces.at(index).device_number;
    }
    if (code != hostos::kIoctlStorageGetDeviceNumber || out == nullptr || out_size < 12)
        return false;
    const hostos::StorageDeviceNumber answer{7, number, 0};
    std::memcpy(out, &answer, sizeof answer);
    returned = sizeof answer;
    return true;
}

bool is_interface_handle(void* handle)
{
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    return value >= kInterfaceHandles && value < kInterfaceHandles + tree_state().tree.interfaces.size();
}

void close_interface(void*) { ++tree_state().log.interfaces_closed; }

}  // namespace scripted

namespace hostos {

using scripted::tree_state;

Handle disk_interface_list() { return tree_state().tree.list_works ? scripted::kList : invalid_handle(); }

bool enum_disk_interface(Handle list, std::uint32_t index, InterfaceData& data)
{
    if (list != scripted::kList || index >= tree_state().tree.interfaces.size())
        return false;
    std::memcpy(data.bytes, &index, sizeof index);
    return true;
}

namespace {
std::uint32_t index_of(const InterfaceData& data)
{
    std::uint32_t index = 0;
    std::memcpy(&index, data.bytes, sizeof index);
    return index;
}
}  // namespace

std::uint32_t interface_detail_size(Handle, InterfaceData& data)
{
    const scripted::DiskInterface& entry = tree_state().tree.interfaces.at(index_of(data));
    if (entry.detail_size_zero)
        return 0;
    return static_cast<std::uint32_t>(kDetailPathOffset + (entry.path.size() + 1) * sizeof(wchar_t));
}

bool interface_detail(Handle, InterfaceData& data, void* detail, std::uint32_t size, DeviceInstance& device)
{
    const scripted::DiskInterface& entry = tree_state().tree.interfaces.at(index_of(data));
    std::uint32_t size_field = 0;
    std::memcpy(&size_field, detail, sizeof size_field);
    if (size_field != kDetailSizeField || size < interface_detail_size(nullptr, data))
        return false;
    std::memcpy(static_cast<std::uint8_t*>(detail) + kDetailPathOffset, entry.path.c_str(),
                (entry.path.size() + 1) * sizeof(wchar_t));
    device = entry.node;
    return true;
}

void destroy_interface_list(Handle) { ++tree_state().log.lists_destroyed; }

Handle open_interface(const wchar_t* path)
{
    const auto& interfaces = tree_state().tree.interfaces;
    for (std::size_t i = 0; i < interfaces.size(); ++i) {
        if (interfaces[i].path == path && interfaces[i].opens) {
            ++tree_state().log.interfaces_opened;
            return reinterpret_cast<Handle>(scripted::kInterfaceHandles + i);
        }
    }
    return invalid_handle();
}

void* heap_alloc_zeroed(std::uint32_t size)
{
    ++tree_state().log.heap_blocks;
    return std::calloc(1, size);
}

void heap_free(void* block)
{
    --tree_state().log.heap_blocks;
    std::free(block);
}

bool parent_of(DeviceInstance child, DeviceInstance& parent)
{
    const auto found = tree_state().tree.nodes.find(child);
    if (found == tree_state().tree.nodes.end() || found->second.parent == 0)
        return false;
    parent = found->second.parent;
    return true;
}

bool devnode_status(DeviceInstance device, std::uint32_t& status, std::uint32_t& problem)
{
    const auto found = tree_state().tree.nodes.find(device);
    if (found == tree_state().tree.nodes.end())
        return false;
    status = found->second.status;
    problem = 0;
    return true;
}

bool device_id(DeviceInstance device, wchar_t* buffer, std::uint32_t length)
{
    const auto found = tree_state().tree.nodes.find(device);
    if (found == tree_state().tree.nodes.end() || found->second.id.size() >= length)
        return false;
    std::wcscpy(buffer, found->second.id.c_str());
    return true;
}

bool locate_devnode(const wchar_t* id, DeviceInstance& device)
{
    for (const auto& [node, entry] : tree_state().tree.nodes) {
        if (entry.id == id) {
            device = node;
            return true;
        }
    }
    return false;
}

bool request_eject(DeviceInstance device)
{
    scripted::Tree& tree = tree_state().tree;
    tree_state().log.eject_requests.push_back(tree.nodes.at(device).id);
    if (tree.eject_takes_ms != 0)
        sleep_ms(tree.eject_takes_ms);
    return tree.eject == scripted::EjectAnswer::Accept;
}

}  // namespace hostos
