// The SCSI disks of a Linux machine, as its block devices directory lists
// them.
#pragma once

#include <string>
#include <vector>

namespace hostos::linux_block {

// "DEV_DIR/NAME" for each entry "sdX" of `block_dir` ("/sys/block"), in
// the kernel's order of naming (sda .. sdz, sdaa ..).
std::vector<std::string> scsi_disk_nodes(const std::string& block_dir, const std::string& dev_dir);

}  // namespace hostos::linux_block
