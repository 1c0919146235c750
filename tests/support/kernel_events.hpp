// The uevent a stock kernel sends for a block device of the reader's MMC
// (major 179, 32 minors a device: 179:68 is mmcblk2p4, 179:0 the whole of
// mmcblk0), as strings for `vreader uevent`, in the kernel's order: ACTION,
// DEVPATH, SUBSYSTEM, MAJOR, MINOR, DEVNAME, DEVTYPE, DISKSEQ, PARTN (a
// partition's), SEQNUM. The launcher adds the header ACTION@DEVPATH.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

inline std::vector<std::string> mmc_block_uevent(const std::string& action, unsigned minor, unsigned seqnum = 1042)
{
    const std::string disk = "mmcblk" + std::to_string(minor / 32);
    const unsigned partition = minor % 32;
    const std::string name = partition == 0 ? disk : disk + "p" + std::to_string(partition);
    const std::string host = "mmc" + std::to_string(minor / 32);
    std::vector<std::string> strings = {
        "ACTION=" + action,
        "DEVPATH=/devices/platform/sdhci-esdhc-imx." + std::to_string(minor / 32 + 1) + "/mmc_host/" + host + "/" +
            host + ":0001/block/" + disk + (partition == 0 ? "" : "/" + name),
        "SUBSYSTEM=block",
        "MAJOR=179",
        "MINOR=" + std::to_string(minor),
        "DEVNAME=" + name,
        std::string("DEVTYPE=") + (partition == 0 ? "disk" : "partition"),
        "DISKSEQ=" + std::to_string(minor / 32 + 1)};
    if (partition != 0)
        strings.push_back("PARTN=" + std::to_string(partition));
    strings.push_back("SEQNUM=" + std::to_string(seqnum));
    return strings;
}

}  // namespace testing_support
