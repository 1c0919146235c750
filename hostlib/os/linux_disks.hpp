// A Linux volume's disk: which block device a node is, the disk it belongs
// to, whether any part of that disk is mounted, and the number that names
// it. The eject's lock and device-number requests are made of these.
#pragma once

#include "hostlib/os/host_eject.hpp"

#include <optional>
#include <string>

namespace hostos::linux_disks {

struct Disk {
    std::string name;             // "sdb"
    std::uint32_t partition = 0;  // of the node asked about; 0 for the disk
};

// The disk behind the node open on `fd`, by the node's name in sysfs.
std::optional<Disk> disk_of(int fd);

// "SOURCE on TARGET" for the first mount of the disk or one of its
// partitions; empty when none is mounted.
std::string mounted_part(const std::string& disk);

// The disk's device number (major and minor) as the one number the
// eject compares; nothing when sysfs does not give it.
std::optional<StorageDeviceNumber> number_of(const Disk& disk);

// realpath, or empty.
std::string resolved(const std::string& path);
// The first entry of a directory such as a SCSI device's "block", or empty.
std::string first_entry(const std::string& dir);

}  // namespace hostos::linux_disks
