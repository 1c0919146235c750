// The media eject's device tree bound to the virtual reader: the PC's own
// disk and the reader's disk among the disk interfaces, the device nodes
// above the reader's disk, and the volume lock and the eject request
// answered from the reader's device_tree.conf. Each step that reaches the
// reader's side is journaled.
#include "hostlib/os/host_device.hpp"
#include "hostlib/os/host_eject.hpp"
#include "vreader/host/reader_link.hpp"
#include "vreader/model/state/journal.hpp"
#include "vreader/model/usb/pc_device_tree.hpp"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

namespace hostos {
namespace {

// The device nodes: the root, the PC's disk, and the reader's disk under
// its USB device on the root hub.
enum Node : DeviceInstance { kRoot = 1, kPcDisk = 10, kReaderDisk = 20, kReaderUsb = 21, kRootHub = 22 };

struct NodeEntry {
    DeviceInstance node;
    DeviceInstance parent;
    const wchar_t* id;
};
constexpr NodeEntry kNodes[] = {
    {kRoot, 0, L"HTREE\\ROOT\\0"},
    {kPcDisk, kRoot, L"SCSI\\DISK&VEN_ATA\\4&1A2B3C&0&000000"},
    {kReaderDisk, kReaderUsb, L"USBSTOR\\DISK&VEN_ZEPA&PROD_QLX-K1\\0001&0"},
    {kReaderUsb, kRootHub, L"USB\\VID_1F3A&PID_6A07\\0001"},
    {kRootHub, kRoot, L"USB\\ROOT_HUB20\\4&2B3C4D&0"},
};

struct DiskEntry {
    const wchar_t* path;
    DeviceInstance node;
};
constexpr DiskEntry kDisks[] = {
    {L"\\\\?\\scsi#disk&ven_ata#4&1a2b3c&0&000000#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}", kPcDisk},
    {L"\\\\?\\usbstor#disk&ven_zepa&prod_qlx-k1#0001&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}", kReaderDisk},
};

const Handle kInterfaceList = reinterpret_cast<Handle>(std::uintptr_t{0x7B000000});
constexpr std::uintptr_t kInterfaceTag = 0x7B000100;

const NodeEntry* find_node(DeviceInstance node)
{
    for (const NodeEntry& entry : kNodes)
        if (entry.node == node)
            return &entry;
    return nullptr;
}

vreader::DeviceTree current_tree()
{
    vreader::DeviceTree tree;
    std::string why;
    if (!vreader::load_device_tree(virtual_reader::directory(), tree, why))
        tree = vreader::DeviceTree{};
    return tree;
}

// The disks present: the reader's only while it is attached.
std::size_t disks_present() { return current_tree().attached ? 2 : 1; }

void journal(vreader::JsonLine& line, long long result)
{
    const std::string dir = virtual_reader::directory();
    if (dir.empty())
        return;
    line.add("device", "pc");
    line.set_result(result, result < 0 ? 16 : 0);
    vreader::Journal(dir + "/journal.jsonl").append(line);
}

bool answer_number(std::uint32_t number, void* out, std::uint32_t out_size, std::uint32_t& returned)
{
    if (out == nullptr || out_size < sizeof(StorageDeviceNumber))
        return false;
    const StorageDeviceNumber answer{7, number, 0};  // FILE_DEVICE_DISK
    std::memcpy(out, &answer, sizeof answer);
    returned = sizeof answer;
    return true;
}

std::uint32_t disk_number(std::size_t index) { return kDisks[index].node == kPcDisk ? 0 : current_tree().disk_number; }

}  // namespace

std::optional<bool> virtual_reader::eject_io_control(Handle handle, std::uint32_t code, void* out,
                                                     std::uint32_t out_size, std::uint32_t& returned)
{
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    if (value >= kInterfaceTag && value < kInterfaceTag + std::size(kDisks)) {
        if (code != kIoctlStorageGetDeviceNumber)
            return false;
        std::lock_guard held(lock());
        return answer_number(disk_number(value - kInterfaceTag), out, out_size, returned);
    }
    int volume = 0;
    if (!volume_of(handle, volume) || (code != kFsctlLockVolume && code != kIoctlStorageGetDeviceNumber))
        return std::nullopt;
    std::lock_guard held(lock());
    const vreader::DeviceTree tree = current_tree();
    if (code == kIoctlStorageGetDeviceNumber)
        return tree.attached && answer_number(tree.disk_number, out, out_size, returned);
    vreader::JsonLine line("lock_volume");
    line.add("volume", std::string(1, static_cast<char>(volume)));
    if (tree.volume_busy)
        line.add("error", "another program holds the volume open");
    journal(line, tree.volume_busy ? -1 : 0);
    return !tree.volume_busy;
}

Handle disk_interface_list() { return kInterfaceList; }

// cppcheck-suppress constParameter ; the OS layer's signature (host_eject.hpp), a handle is opaque
bool enum_disk_interface(Handle list, std::uint32_t index, InterfaceData& data)
{
    if (list != kInterfaceList)
        return false;
    std::lock_guard held(virtual_reader::lock());
    if (index >= disks_present())
        return false;
    std::memcpy(data.bytes, &index, sizeof index);
    return true;
}

namespace {
std::uint32_t index_of(const InterfaceData& data)
{
    std::uint32_t index = 0;
    std::memcpy(&index, data.bytes, sizeof index);
    return index < std::size(kDisks) ? index : 0;
}
}  // namespace

std::uint32_t interface_detail_size(Handle, InterfaceData& data)
{
    const wchar_t* path = kDisks[index_of(data)].path;
    return static_cast<std::uint32_t>(kDetailPathOffset + (std::wcslen(path) + 1) * sizeof(wchar_t));
}

bool interface_detail(Handle list, InterfaceData& data, void* detail, std::uint32_t size, DeviceInstance& device)
{
    std::uint32_t size_field = 0;
    std::memcpy(&size_field, detail, sizeof size_field);
    if (size_field != kDetailSizeField || size < interface_detail_size(list, data))
        return false;
    const DiskEntry& disk = kDisks[index_of(data)];
    std::memcpy(static_cast<std::uint8_t*>(detail) + kDetailPathOffset, disk.path,
                (std::wcslen(disk.path) + 1) * sizeof(wchar_t));
    device = disk.node;
    return true;
}

void destroy_interface_list(Handle) {}

Handle open_interface(const wchar_t* path)
{
    for (std::size_t i = 0; i < std::size(kDisks); ++i)
        if (std::wcscmp(kDisks[i].path, path) == 0)
            return reinterpret_cast<Handle>(kInterfaceTag + i);
    return invalid_handle();
}

void* heap_alloc_zeroed(std::uint32_t size) { return std::calloc(1, size); }
void heap_free(void* block) { std::free(block); }

bool parent_of(DeviceInstance child, DeviceInstance& parent)
{
    const NodeEntry* entry = find_node(child);
    if (entry == nullptr || entry->parent == 0)
        return false;
    parent = entry->parent;
    return true;
}

bool devnode_status(DeviceInstance device, std::uint32_t& status, std::uint32_t& problem)
{
    if (find_node(device) == nullptr)
        return false;
    std::lock_guard held(virtual_reader::lock());
    status = device == kReaderUsb && current_tree().removable ? kDnRemovable : 0;
    problem = 0;
    return true;
}

bool device_id(DeviceInstance device, wchar_t* buffer, std::uint32_t length)
{
    const NodeEntry* entry = find_node(device);
    if (entry == nullptr || std::wcslen(entry->id) >= length)
        return false;
    std::wcscpy(buffer, entry->id);
    return true;
}

bool locate_devnode(const wchar_t* id, DeviceInstance& device)
{
    for (const NodeEntry& entry : kNodes) {
        if (std::wcscmp(entry.id, id) == 0) {
            device = entry.node;
            return true;
        }
    }
    return false;
}

bool request_eject(DeviceInstance device)
{
    vreader::DeviceTree tree;
    {
        std::lock_guard held(virtual_reader::lock());
        tree = current_tree();
    }
    if (tree.eject == vreader::EjectAnswer::Hang)
        sleep_ms(vreader::kEjectHangMs);
    std::lock_guard held(virtual_reader::lock());
    vreader::JsonLine line("eject");
    line.add("node", device).add("answer", vreader::eject_answer_name(tree.eject));
    // Only the reader's own device leaves; anything else is refused.
    const bool accepted = tree.eject == vreader::EjectAnswer::Accept && device == kReaderUsb;
    if (accepted) {
        tree = current_tree();
        tree.attached = false;
        ++tree.ejects;
        if (vreader::save_device_tree(virtual_reader::directory(), tree) != 0)
            line.add("error", "cannot write the device tree");
    }
    journal(line, accepted ? 0 : -1);
    return accepted;
}

}  // namespace hostos
