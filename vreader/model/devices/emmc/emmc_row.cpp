#include "vreader/model/devices/emmc/emmc_row.hpp"

#include "vreader/model/devices/emmc/emmc_content.hpp"
#include "vreader/model/devices/emmc/emmc_file.hpp"

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

bool emmc_fault_device(const ReaderConfig& config, std::string_view device) { return device == emmc_device(config); }

std::string print_emmc(Session& session)
{
    const ReaderDir& reader = session.dir();
    const ReaderConfig& config = reader.config();
    std::printf("emmc_size=%llu\nemmc_unit=%u\nemmc_nodes=%.*s\nboot_env=%s\n",
                static_cast<unsigned long long>(config.emmc_size), config.emmc_unit,
                static_cast<int>(emmc_nodes_name(config.emmc_nodes).size()), emmc_nodes_name(config.emmc_nodes).data(),
                active_boot_env(reader).c_str());
    return {};
}

bool owns_emmc_key(std::string_view key) { return key == "boot_env"; }

std::string check_boot_env(std::string_view, std::string_view value)
{
    if (value != "normal" && value != "recovery")
        return "boot_env takes normal or recovery: " + std::string(value);
    return {};
}

// Copies the saved environment over the active one, as the boot mode tool does.
std::string set_boot_env(const ReaderDir& reader, std::string_view, std::string_view value)
{
    return activate_boot_env(reader, value);
}

}  // namespace

const DeviceRow kEmmcRow = {
    .name = "emmc",
    .find_node = find_emmc_node,
    .fault_device = emmc_fault_device,
    .print_state = print_emmc,
    .owns_key = owns_emmc_key,
    .check_value = check_boot_env,
    .set_key = set_boot_env,
    .set_refusal_is_usage = false,
    .create = create_emmc,
};

}  // namespace vreader
