// The reader's MMC block devices, as its kernel numbers them: major 179, 32
// minors a unit (mmcblk2p4 is 179:68). The eMMC's whole device and its
// partitions p1 to p8; on a reader whose eMMC is not unit 0, the SD card in
// the slot as unit 0 (the whole card, 179:0, and its partition p1). A
// partition or the card can be taken away and given back (`vreader set DIR
// block.NAME 0|1`): a node with the number of a device that is not there
// opens as no device at all, as the kernel's does.
#pragma once

#include "vreader/model/core/reader_dir.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace vreader {

inline constexpr unsigned kMmcMajor = 179;
inline constexpr unsigned kMmcMinorsPerUnit = 32;
inline constexpr unsigned kEmmcPartitions = 8;

// Which devices are taken away: one name a line.
inline constexpr std::string_view kBlockRemovedFile = "block.removed";

struct MmcBlockDevice {
    std::string name;  // "mmcblk2p4"
    unsigned minor;
};

// Every device the reader can have, whether there or taken away.
std::vector<MmcBlockDevice> mmc_block_devices(const ReaderConfig& config);

// The names of the devices taken away, in the order of mmc_block_devices.
std::vector<std::string> removed_block_devices(const ReaderDir& dir);

// Whether a block device numbered major:minor is there now.
bool block_device_present(const ReaderDir& dir, unsigned major, unsigned minor);

// `vreader set DIR block.NAME 0|1`: the value's check, then the change. The
// eMMC itself cannot be taken away; taking the card away takes its
// partition too. Empty, or why not.
inline constexpr std::string_view kBlockKeyPrefix = "block.";
std::string check_block_value(std::string_view value);
std::string set_block_device(const ReaderDir& dir, std::string_view name, std::string_view value);

}  // namespace vreader
