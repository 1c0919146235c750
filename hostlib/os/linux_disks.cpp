#include "hostlib/os/linux_disks.hpp"

#include "hostlib/os/linux_paths.hpp"

#include <dirent.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace hostos {

linux_paths::Roots& linux_paths::roots()
{
    static Roots instance;
    return instance;
}

namespace linux_disks {
namespace {

constexpr std::uint32_t kFileDeviceDisk = 7;

std::string base_name(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string first_line(const std::string& path)
{
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

// The disk below a SCSI generic node's device ("sg2" -> "sdb"); empty when
// it has none.
std::string disk_of_generic(const std::string& name)
{
    return first_entry(linux_paths::roots().sys + "/class/scsi_generic/" + name + "/device/block");
}

// The disk `name` is, or the one it is a partition of, or the one a SCSI
// generic node stands for; empty when sysfs does not know it.
std::string disk_name(const std::string& name, std::uint32_t& partition)
{
    if (name.empty())
        return {};
    const std::string entry = linux_paths::roots().sys + "/class/block/" + name;
    const std::string real = resolved(entry);
    if (real.empty()) {
        partition = 0;
        return disk_of_generic(name);
    }
    const std::string number = first_line(entry + "/partition");
    if (number.empty()) {
        partition = 0;
        return name;
    }
    partition = static_cast<std::uint32_t>(std::strtoul(number.c_str(), nullptr, 10));
    return base_name(real.substr(0, real.find_last_of('/')));
}

}  // namespace

std::string resolved(const std::string& path)
{
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) != nullptr ? std::string(buffer) : std::string();
}

std::string first_entry(const std::string& dir)
{
    std::string name;
    if (DIR* listing = ::opendir(dir.c_str())) {
        while (const dirent* entry = ::readdir(listing))
            if (entry->d_name[0] != '.') {
                name = entry->d_name;
                break;
            }
        ::closedir(listing);
    }
    return name;
}

std::optional<Disk> disk_of(int fd)
{
    char target[PATH_MAX];
    const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target, sizeof target - 1);
    if (n <= 0)
        return std::nullopt;
    Disk disk;
    disk.name = disk_name(base_name(std::string(target, static_cast<std::size_t>(n))), disk.partition);
    if (disk.name.empty())
        return std::nullopt;
    return disk;
}

std::string mounted_part(const std::string& disk)
{
    std::ifstream mounts(linux_paths::roots().mounts);
    for (std::string line; std::getline(mounts, line);) {
        std::istringstream fields(line);
        std::string source, target;
        if (!(fields >> source >> target) || !source.starts_with("/"))
            continue;
        // Sources may be links such as /dev/disk/by-uuid/...
        const std::string real = resolved(source);
        std::uint32_t partition = 0;
        if (disk_name(base_name(real.empty() ? source : real), partition) == disk)
            return source + " on " + target;
    }
    return {};
}

std::optional<StorageDeviceNumber> number_of(const Disk& disk)
{
    const std::string dev = first_line(linux_paths::roots().sys + "/class/block/" + disk.name + "/dev");
    unsigned major = 0, minor = 0;
    char colon = 0;
    std::istringstream text(dev);
    if (!(text >> major >> colon >> minor) || colon != ':')
        return std::nullopt;
    return StorageDeviceNumber{kFileDeviceDisk, major << 20 | (minor & 0xFFFFF), disk.partition};
}

}  // namespace linux_disks
}  // namespace hostos
