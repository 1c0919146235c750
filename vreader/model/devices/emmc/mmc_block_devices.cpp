#include "vreader/model/devices/emmc/mmc_block_devices.hpp"

#include "vreader/model/state/files.hpp"

#include <algorithm>
#include <cstring>

namespace vreader {
namespace {

constexpr unsigned kCardUnit = 0;

std::string unit_name(unsigned unit) { return "mmcblk" + std::to_string(unit); }

// The removed names as stored, one a line; a missing file removes nothing.
std::vector<std::string> stored_removed(const ReaderDir& dir)
{
    std::string text;
    std::vector<std::string> names;
    if (read_file(dir.file(kBlockRemovedFile), text) != 0)
        return names;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        if (end > at)
            names.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return names;
}

bool listed(const std::vector<std::string>& names, std::string_view name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

std::vector<MmcBlockDevice> mmc_block_devices(const ReaderConfig& config)
{
    std::vector<MmcBlockDevice> devices;
    if (config.emmc_unit != kCardUnit) {
        devices.push_back({unit_name(kCardUnit), kCardUnit * kMmcMinorsPerUnit});
        devices.push_back({unit_name(kCardUnit) + "p1", kCardUnit * kMmcMinorsPerUnit + 1});
    }
    const std::string emmc = unit_name(config.emmc_unit);
    const unsigned first = config.emmc_unit * kMmcMinorsPerUnit;
    devices.push_back({emmc, first});
    for (unsigned partition = 1; partition <= kEmmcPartitions; ++partition)
        devices.push_back({emmc + "p" + std::to_string(partition), first + partition});
    return devices;
}

std::vector<std::string> removed_block_devices(const ReaderDir& dir)
{
    const std::vector<std::string> stored = stored_removed(dir);
    std::vector<std::string> removed;
    for (const MmcBlockDevice& device : mmc_block_devices(dir.config()))
        if (listed(stored, device.name))
            removed.push_back(device.name);
    return removed;
}

bool block_device_present(const ReaderDir& dir, unsigned major, unsigned minor)
{
    if (major != kMmcMajor)
        return false;
    const std::vector<std::string> removed = removed_block_devices(dir);
    for (const MmcBlockDevice& device : mmc_block_devices(dir.config()))
        if (device.minor == minor)
            return !listed(removed, device.name);
    return false;
}

std::string check_block_value(std::string_view value)
{
    if (value != "0" && value != "1")
        return "block.NAME takes 1 (there) or 0 (taken away): " + std::string(value);
    return {};
}

std::string set_block_device(const ReaderDir& dir, std::string_view name, std::string_view value)
{
    const std::vector<MmcBlockDevice> devices = mmc_block_devices(dir.config());
    const auto known = [&](std::string_view n) {
        return std::any_of(devices.begin(), devices.end(), [&](const MmcBlockDevice& d) { return d.name == n; });
    };
    if (!known(name))
        return "this reader has no block device " + std::string(name);
    const std::string emmc = unit_name(dir.config().emmc_unit);
    if (name == emmc)
        return "the eMMC cannot be taken away";
    std::vector<std::string> removed = removed_block_devices(dir);
    // The card's partition goes with the card and comes back with it.
    const std::string card = unit_name(kCardUnit);
    if (value == "1" && name == card + "p1" && listed(removed, card))
        return "the card is taken away: set block." + card + " 1 first";
    std::vector<std::string> names = {std::string(name)};
    if (name == card)
        names.push_back(card + "p1");
    for (const std::string& n : names) {
        std::erase(removed, n);
        if (value == "0")
            removed.push_back(n);
    }
    std::string text;
    for (const MmcBlockDevice& device : devices)
        if (listed(removed, device.name))
            text += device.name + "\n";
    if (const int e = replace_file(dir.file(kBlockRemovedFile), text))
        return "cannot write " + dir.file(kBlockRemovedFile) + ": " + std::strerror(e);
    return {};
}

}  // namespace vreader
