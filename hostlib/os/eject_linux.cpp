// The media eject's device tree on Linux, from sysfs. The disk interfaces
// are the SCSI disks; a device node is a sysfs device directory, its
// parent the directory above; the removable node is the SCSI device that
// can be deleted. Its eject is what a careful desktop does: the door
// unlocked (PREVENT ALLOW MEDIUM REMOVAL, allow) and START STOP UNIT with the
// eject bit to the disk, then the device's removal through its "delete"
// attribute.
#include "hostlib/os/host_device.hpp"
#include "hostlib/os/host_eject.hpp"
#include "hostlib/os/linux_disks.hpp"
#include "hostlib/os/linux_handles.hpp"
#include "hostlib/os/linux_kernel.hpp"
#include "hostlib/os/linux_paths.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace hostos {
namespace {

struct DiskList {
    std::vector<std::string> nodes;
};

// Device instances are indexes (from 1) into the sysfs directories met so
// far; a process meets a handful.
struct Devices {
    std::mutex lock;
    std::vector<std::string> paths;
};

Devices& devices()
{
    static Devices* instance = new Devices;
    return *instance;
}

DeviceInstance instance_of(const std::string& path)
{
    Devices& d = devices();
    std::lock_guard held(d.lock);
    for (std::size_t i = 0; i < d.paths.size(); ++i)
        if (d.paths[i] == path)
            return static_cast<DeviceInstance>(i + 1);
    d.paths.push_back(path);
    return static_cast<DeviceInstance>(d.paths.size());
}

std::string path_of(DeviceInstance device)
{
    Devices& d = devices();
    std::lock_guard held(d.lock);
    return device >= 1 && device <= d.paths.size() ? d.paths[device - 1] : std::string();
}

bool exists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::string narrow(const wchar_t* text)
{
    std::string out;
    for (; text != nullptr && *text != L'\0'; ++text)
        out += *text > 0 && *text < 0x80 ? static_cast<char>(*text) : '?';
    return out;
}

// One command without data through the node open as `fd`: whether the
// device answered GOOD.
bool no_data_command(int fd, const unsigned char (&cdb)[6])
{
    unsigned char sense[32] = {};
    sg_io_hdr_t request{};
    request.interface_id = 'S';
    request.dxfer_direction = SG_DXFER_NONE;
    request.cmd_len = sizeof cdb;
    request.cmdp = const_cast<unsigned char*>(cdb);
    request.mx_sb_len = sizeof sense;
    request.sbp = sense;
    request.timeout = 10000;
    return kernel::sg_io(fd, request) == 0 && request.status == 0 && request.host_status == 0 &&
           (request.driver_status & 0x0F) == 0;
}

// The medium out of the disk at `node`. Opening a removable disk's node
// makes the kernel lock its door (PREVENT MEDIUM REMOVAL), and a device
// refuses an eject while the door is locked: so PREVENT ALLOW MEDIUM
// REMOVAL with prevent clear first, then START STOP UNIT with LoEj set and
// Start clear. The allow's own answer does not matter; the eject's does.
bool eject_medium(const std::string& node)
{
    const int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    static constexpr unsigned char kAllowRemoval[6] = {0x1E, 0, 0, 0, 0x00, 0};
    static constexpr unsigned char kLoadEject[6] = {0x1B, 0, 0, 0, 0x02, 0};
    if (!no_data_command(fd, kAllowRemoval))
        debug_output(("eject: PREVENT ALLOW MEDIUM REMOVAL failed on " + node).c_str());
    const bool ok = no_data_command(fd, kLoadEject);
    ::close(fd);
    return ok;
}

bool write_attribute(const std::string& path, const char* value)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const auto length = static_cast<ssize_t>(std::strlen(value));
    const bool ok = ::write(fd, value, static_cast<std::size_t>(length)) == length;
    return ::close(fd) == 0 && ok;
}

}  // namespace

Handle disk_interface_list() { return new DiskList{volume_nodes()}; }

bool enum_disk_interface(Handle list, std::uint32_t index, InterfaceData& data)
{
    const auto* disks = static_cast<const DiskList*>(list);
    if (disks == nullptr || index >= disks->nodes.size())
        return false;
    std::memset(data.bytes, 0, sizeof data.bytes);
    std::memcpy(data.bytes, &index, sizeof index);
    return true;
}

namespace {

const std::string* node_of(Handle list, const InterfaceData& data)
{
    const auto* disks = static_cast<const DiskList*>(list);
    std::uint32_t index = 0;
    std::memcpy(&index, data.bytes, sizeof index);
    return disks != nullptr && index < disks->nodes.size() ? &disks->nodes[index] : nullptr;
}

}  // namespace

std::uint32_t interface_detail_size(Handle list, InterfaceData& data)
{
    const std::string* node = node_of(list, data);
    return node == nullptr ? 0 : static_cast<std::uint32_t>(kDetailPathOffset + (node->size() + 1) * sizeof(wchar_t));
}

bool interface_detail(Handle list, InterfaceData& data, void* detail, std::uint32_t size, DeviceInstance& device)
{
    const std::string* node = node_of(list, data);
    if (node == nullptr || detail == nullptr || size < interface_detail_size(list, data))
        return false;
    auto* path = reinterpret_cast<wchar_t*>(static_cast<std::uint8_t*>(detail) + kDetailPathOffset);
    for (std::size_t i = 0; i <= node->size(); ++i)
        path[i] = i < node->size() ? static_cast<wchar_t>(static_cast<unsigned char>((*node)[i])) : L'\0';
    const std::string name = node->substr(node->find_last_of('/') + 1);
    const std::string disk = linux_disks::resolved(linux_paths::roots().sys + "/block/" + name);
    if (disk.empty())
        return false;
    device = instance_of(disk);
    return true;
}

void destroy_interface_list(Handle list) { delete static_cast<DiskList*>(list); }

Handle open_interface(const wchar_t* path) { return open_volume(path); }

void* heap_alloc_zeroed(std::uint32_t size) { return std::calloc(1, size); }
void heap_free(void* block) { std::free(block); }

bool parent_of(DeviceInstance child, DeviceInstance& parent)
{
    const std::string path = path_of(child);
    const std::string top = linux_disks::resolved(linux_paths::roots().sys + "/devices");
    const auto slash = path.find_last_of('/');
    if (path.empty() || slash == std::string::npos || top.empty())
        return false;
    const std::string above = path.substr(0, slash);
    if (above.size() <= top.size() || !above.starts_with(top))
        return false;
    parent = instance_of(above);
    return true;
}

bool devnode_status(DeviceInstance device, std::uint32_t& status, std::uint32_t& problem)
{
    const std::string path = path_of(device);
    if (path.empty() || !exists(path))
        return false;
    status = exists(path + "/delete") ? kDnRemovable : 0;
    problem = 0;
    return true;
}

bool device_id(DeviceInstance device, wchar_t* buffer, std::uint32_t length)
{
    const std::string path = path_of(device);
    if (path.empty() || buffer == nullptr || path.size() + 1 > length)
        return false;
    for (std::size_t i = 0; i <= path.size(); ++i)
        buffer[i] = i < path.size() ? static_cast<wchar_t>(static_cast<unsigned char>(path[i])) : L'\0';
    return true;
}

bool locate_devnode(const wchar_t* id, DeviceInstance& device)
{
    const std::string path = narrow(id);
    if (path.empty() || !exists(path))
        return false;
    device = instance_of(path);
    return true;
}

bool request_eject(DeviceInstance device)
{
    const std::string path = path_of(device);
    const std::string name = path.empty() ? std::string() : linux_disks::first_entry(path + "/block");
    if (name.empty()) {
        debug_output("eject: no disk below the device");
        return false;
    }
    if (!eject_medium(linux_paths::roots().dev + "/" + name)) {
        debug_output(("eject: START STOP UNIT failed on " + name).c_str());
        return false;
    }
    if (!write_attribute(path + "/delete", "1")) {
        debug_output(("eject: the removal of " + name + " failed").c_str());
        return false;
    }
    return true;
}

}  // namespace hostos
