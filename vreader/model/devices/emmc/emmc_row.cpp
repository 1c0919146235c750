#include "vreader/model/devices/emmc/emmc_row.hpp"

#include "vreader/model/devices/emmc/emmc_content.hpp"
#include "vreader/model/devices/emmc/emmc_file.hpp"
#include "vreader/model/devices/emmc/mmc_block_devices.hpp"

#include <cstdio>

namespace vreader {
namespace {

constexpr DeviceNode kEmmcNode{emmc_stat, EmmcFile::open};

// /dev/mmcblkN, /dev/block/mmcblkN or both, as the reader was made.
const DeviceNode* find_emmc_node(const ReaderConfig& config, std::string_view path)
{
    const std::string emmc = emmc_device(config);
    const bool dev_name = config.emmc_nodes != EmmcNodes::Block;
    const bool block_name = config.emmc_nodes != EmmcNodes::Dev;
    if (dev_name && path == "/dev/" + emmc)
        return &kEmmcNode;
    if (block_name && path == "/dev/block")
        return &kDirectoryNode;
    if (block_name && path == "/dev/block/" + emmc)
        return &kEmmcNode;
    return nullptr;
}

bool is_emmc(const ReaderConfig& config, std::string_view device) { return device == emmc_device(config); }

constexpr FaultTake kEmmcTakes[] = {
    {"open", kErrnoEffect},  {"close", kErrnoEffect}, {"read", kReadEffects},  {"write", kWriteEffects},
    {"lseek", kErrnoEffect}, {"mmap", kErrnoEffect},  {"fsync", kErrnoEffect},
};
// The block layer's size queries, each of which can fail.
constexpr DeviceFaultRequest kEmmcRequests[] = {{"BLKROGET"},   {"BLKGETSIZE"}, {"BLKSSZGET"},
                                                {"BLKPBSZGET"}, {"BLKBSZGET"},  {"BLKGETSIZE64"}};
// Named by its unit, as the kernel names it.
constexpr FaultScope kEmmcScopes[] = {
    {.name = "mmcblkN", .takes = kEmmcTakes, .is = is_emmc, .shown = emmc_device, .driver_requests = kEmmcRequests}};

std::string print_emmc(Session& session)
{
    const ReaderDir& reader = session.dir();
    const ReaderConfig& config = reader.config();
    std::printf("emmc_size=%llu\nemmc_unit=%u\nemmc_nodes=%.*s\nboot_env=%s\n",
                static_cast<unsigned long long>(config.emmc_size), config.emmc_unit,
                static_cast<int>(emmc_nodes_name(config.emmc_nodes).size()), emmc_nodes_name(config.emmc_nodes).data(),
                active_boot_env(reader).c_str());
    std::string removed;
    for (const std::string& name : removed_block_devices(reader))
        removed += (removed.empty() ? "" : " ") + name;
    std::printf("block_removed=%s\n", removed.empty() ? "none" : removed.c_str());
    return {};
}

bool owns_emmc_key(std::string_view key) { return key == "boot_env" || key.starts_with(kBlockKeyPrefix); }

std::string check_emmc_value(std::string_view key, std::string_view value)
{
    if (key.starts_with(kBlockKeyPrefix))
        return check_block_value(value);
    if (value != "normal" && value != "recovery")
        return "boot_env takes normal or recovery: " + std::string(value);
    return {};
}

// boot_env copies the saved environment over the active one, as the boot
// mode tool does; block.NAME takes a device away or gives it back.
std::string set_emmc_key(const ReaderDir& reader, std::string_view key, std::string_view value)
{
    if (key.starts_with(kBlockKeyPrefix))
        return set_block_device(reader, key.substr(kBlockKeyPrefix.size()), value);
    return activate_boot_env(reader, value);
}

}  // namespace

const DeviceRow kEmmcRow = {
    .name = "emmc",
    .find_node = find_emmc_node,
    .fault_requests = kEmmcRequests,
    .fault_scopes = kEmmcScopes,
    .print_state = print_emmc,
    .owns_key = owns_emmc_key,
    .check_value = check_emmc_value,
    .set_key = set_emmc_key,
    .set_refusal_is_usage = false,
    .create = create_emmc,
};

}  // namespace vreader
