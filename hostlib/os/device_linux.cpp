// The device layer bound to Linux: a reader volume is a SCSI disk or
// generic node ("/dev/sdb", "/dev/sg2"), and the storage driver's
// pass-through record travels as an SG_IO request. There is no device-open
// broker.
#include "hostlib/os/host_device.hpp"
#include "hostlib/os/host_eject.hpp"
#include "hostlib/os/linux_block.hpp"
#include "hostlib/os/linux_disks.hpp"
#include "hostlib/os/linux_handles.hpp"
#include "hostlib/os/linux_kernel.hpp"
#include "hostlib/os/linux_paths.hpp"
#include "hostlib/os/sg_io_request.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

namespace hostos {
namespace {

// $FENDRAC_SCSI_TIMEOUT shortens the wait for one exchange to that many
// seconds: a reader that stops answering is then aborted and reset by the
// kernel that much sooner (and the exchange tried again) rather than after
// the record's 10000 seconds. Anything but a whole number from 1 to the
// record's own leaves the record's.
unsigned exchange_timeout_ms(unsigned record_ms)
{
    const char* text = std::getenv("FENDRAC_SCSI_TIMEOUT");
    if (text == nullptr || *text < '0' || *text > '9')
        return record_ms;
    char* end = nullptr;
    errno = 0;
    const unsigned long seconds = std::strtoul(text, &end, 10);
    if (errno != 0 || *end != '\0' || seconds == 0 || seconds > record_ms / 1000)
        return record_ms;
    return static_cast<unsigned>(seconds * 1000);
}

// For the debugger output: what the kernel said of an exchange that did
// not end GOOD with every byte moved.
void report_unclean(const sg_io_hdr_t& request)
{
    if (request.status == 0 && request.host_status == 0 && request.driver_status == 0 && request.resid == 0)
        return;
    const auto* sense = request.sbp;
    const bool has_sense = sense != nullptr && request.sb_len_wr >= 14;
    char text[160];
    std::snprintf(text, sizeof text, "SG_IO: status %u host %u driver %u resid %d of %u, sense %x/%02x/%02x",
                  request.status, request.host_status, request.driver_status, request.resid, request.dxfer_len,
                  has_sense ? sense[2] & 0x0F : 0, has_sense ? sense[12] : 0, has_sense ? sense[13] : 0);
    debug_output(text);
}

Handle open_node(const char* path)
{
    if (path == nullptr)
        return invalid_handle();
    // Without O_NONBLOCK a removable disk with no medium would refuse the
    // open; SG_IO itself always waits for its answer.
    const int fd = ::open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    return fd < 0 ? invalid_handle() : linux_handles::from_fd(fd);
}

// The volume lock before an eject: refused while any part of the disk is
// mounted, as a desktop refuses to eject a disk in use.
bool lock_volume(int fd)
{
    const auto disk = linux_disks::disk_of(fd);
    if (!disk) {
        errno = ENODEV;
        return false;
    }
    if (const std::string mounted = linux_disks::mounted_part(disk->name); !mounted.empty()) {
        debug_output(("eject refused: " + mounted + " is mounted").c_str());
        errno = EBUSY;
        return false;
    }
    return true;
}

bool device_number(int fd, void* out, std::uint32_t out_size, std::uint32_t& returned)
{
    const auto disk = linux_disks::disk_of(fd);
    const auto number = disk ? linux_disks::number_of(*disk) : std::nullopt;
    if (!number || out == nullptr || out_size < sizeof *number) {
        errno = number ? EINVAL : ENODEV;
        return false;
    }
    std::memcpy(out, &*number, sizeof *number);
    returned = sizeof *number;
    return true;
}

}  // namespace

Handle open_volume(const wchar_t* path)
{
    if (path == nullptr)
        return invalid_handle();
    std::string narrow;
    std::mbstate_t state{};
    for (; *path != L'\0'; ++path) {
        char bytes[MB_LEN_MAX];
        const std::size_t n = std::wcrtomb(bytes, *path, &state);
        if (n == static_cast<std::size_t>(-1))
            return invalid_handle();
        narrow.append(bytes, n);
    }
    return open_node(narrow.c_str());
}

Handle open_volume_ansi(const char* path) { return open_node(path); }

void close_volume(Handle handle)
{
    if (const int fd = linux_handles::fd_of(handle); fd >= 0)
        ::close(fd);
}

bool device_io_control(Handle handle, std::uint32_t code, void* in, std::uint32_t in_size, void* out,
                       std::uint32_t out_size, std::uint32_t& returned)
{
    returned = 0;
    const int fd = linux_handles::fd_of(handle);
    if (fd < 0) {
        errno = EBADF;
        return false;
    }
    if (code == kFsctlLockVolume)
        return lock_volume(fd);
    if (code == kIoctlStorageGetDeviceNumber)
        return device_number(fd, out, out_size, returned);
    if (code != kIoctlScsiPassThrough) {
        errno = ENOTTY;
        return false;
    }
    sg_io_hdr_t request;
    if (!sg::to_sg_io(in, in_size, out, out_size, request)) {
        errno = EINVAL;
        return false;
    }
    request.timeout = exchange_timeout_ms(request.timeout);
    if (kernel::sg_io(fd, request) != 0) {
        const int error = errno;
        char text[64];
        std::snprintf(text, sizeof text, "SG_IO failed: %s", std::strerror(error));
        debug_output(text);
        errno = error;
        return false;
    }
    report_unclean(request);
    if (!sg::from_sg_io(request, out, out_size, returned)) {
        errno = EIO;
        return false;
    }
    return true;
}

Handle broker_open(const wchar_t*, std::uint32_t) { return invalid_handle(); }

std::vector<std::string> volume_nodes()
{
    const linux_paths::Roots& roots = linux_paths::roots();
    return linux_block::scsi_disk_nodes(roots.sys + "/block", roots.dev);
}

std::vector<std::string> linux_block::scsi_disk_nodes(const std::string& block_dir, const std::string& dev_dir)
{
    std::vector<std::string> names;
    if (DIR* listing = ::opendir(block_dir.c_str())) {
        while (const dirent* entry = ::readdir(listing)) {
            const std::string name = entry->d_name;
            if (name.size() > 2 && name.starts_with("sd") &&
                std::all_of(name.begin() + 2, name.end(), [](char c) { return c >= 'a' && c <= 'z'; }))
                names.push_back(name);
        }
        ::closedir(listing);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    for (std::string& name : names)
        name = dev_dir + "/" + name;
    return names;
}

}  // namespace hostos
