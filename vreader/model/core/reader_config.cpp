#include "vreader/model/core/reader_config.hpp"

#include "vreader/model/state/key_value.hpp"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace vreader {

ScreenGeometry screen_geometry(const ReaderConfig& config, std::uint32_t rotate)
{
    const bool swapped = rotate == 1 || rotate == 3;
    ScreenGeometry g;
    g.xres = swapped ? config.panel_height : config.panel_width;
    g.yres = swapped ? config.panel_width : config.panel_height;
    g.xres_virtual = g.xres + config.stride_pad;
    g.yres_virtual = 2 * g.yres;
    g.line_length = g.xres_virtual * 2;
    return g;
}

std::uint32_t memory_size(const ReaderConfig& config)
{
    std::uint64_t largest = 0;
    for (std::uint32_t rotate = 0; rotate < 2; ++rotate) {
        const ScreenGeometry g = screen_geometry(config, rotate);
        largest = std::max<std::uint64_t>(largest, std::uint64_t{g.line_length} * g.yres_virtual);
    }
    return static_cast<std::uint32_t>((largest + 4095) / 4096 * 4096);
}

std::string emmc_device(const ReaderConfig& config) { return "mmcblk" + std::to_string(config.emmc_unit); }

std::string_view emmc_nodes_name(EmmcNodes nodes)
{
    switch (nodes) {
    case EmmcNodes::Dev:
        return "dev";
    case EmmcNodes::Block:
        return "block";
    case EmmcNodes::Both:
        break;
    }
    return "both";
}

bool parse_emmc_nodes(std::string_view text, EmmcNodes& out)
{
    for (const EmmcNodes nodes : {EmmcNodes::Both, EmmcNodes::Dev, EmmcNodes::Block}) {
        if (text == emmc_nodes_name(nodes)) {
            out = nodes;
            return true;
        }
    }
    return false;
}

std::string check_config(const ReaderConfig& config)
{
    if (config.panel_width < 1 || config.panel_width > kMaxPanelSide || config.panel_height < 1 ||
        config.panel_height > kMaxPanelSide)
        return "the screen must be 1 to " + std::to_string(kMaxPanelSide) + " pixels each way";
    if (config.stride_pad > kMaxStridePad)
        return "the stride pad must be 0 to " + std::to_string(kMaxStridePad) + " pixels";
    if (config.emmc_size < kMinEmmcSize || config.emmc_size > kMaxEmmcSize || config.emmc_size % 512 != 0)
        return "the eMMC size must be a multiple of 512 bytes from 16 MiB to 1 TiB";
    if (config.emmc_unit > kMaxEmmcUnit)
        return "the eMMC unit must be 0 to " + std::to_string(kMaxEmmcUnit);
    if (config.touch_devices > kMaxTouchDevices)
        return "a reader has 0 to " + std::to_string(kMaxTouchDevices) + " touch devices";
    if (config.spi_cs != 0 && config.spi_cs != 2)
        return "the sub-CPU's chip select is 2, or 0 on older boards";
    return {};
}

std::string format_config(const ReaderConfig& config)
{
    char start[32];
    std::snprintf(start, sizeof start, "0x%llX", static_cast<unsigned long long>(config.smem_start));
    return "# virtual reader configuration\n"
           "panel_width=" +
           std::to_string(config.panel_width) + "\n" + "panel_height=" + std::to_string(config.panel_height) + "\n" +
           "stride_pad=" + std::to_string(config.stride_pad) + "\n" +
           "graphics_node=" + (config.graphics_node ? "yes" : "no") + "\n" + "smem_start=" + start + "\n" +
           "emmc_size=" + std::to_string(config.emmc_size) + "\n" + "emmc_unit=" + std::to_string(config.emmc_unit) +
           "\n" + "emmc_nodes=" + std::string(emmc_nodes_name(config.emmc_nodes)) + "\n" +
           "spi_cs=" + std::to_string(config.spi_cs) + "\n" + "touch_devices=" + std::to_string(config.touch_devices) +
           "\n" + "modem=" + (config.modem ? "yes" : "no") + "\n";
}

bool parse_config(std::string_view text, ReaderConfig& out, std::string& error)
{
    std::vector<KeyValue> entries;
    if (!parse_key_values(text, entries, error))
        return false;
    ReaderConfig config;
    struct Field {
        const char* key;
        std::uint32_t* value;
    };
    const Field fields[] = {{"panel_width", &config.panel_width},
                            {"panel_height", &config.panel_height},
                            {"stride_pad", &config.stride_pad}};
    for (const auto& field : fields) {
        const std::string* text_value = find_value(entries, field.key);
        if (text_value == nullptr) {
            error = std::string("no ") + field.key;
            return false;
        }
        const auto number = parse_unsigned(*text_value, UINT32_MAX);
        if (!number) {
            error = std::string("bad ") + field.key + ": " + *text_value;
            return false;
        }
        *field.value = static_cast<std::uint32_t>(*number);
    }
    if (const std::string* node = find_value(entries, "graphics_node")) {
        if (*node != "yes" && *node != "no") {
            error = "bad graphics_node: " + *node;
            return false;
        }
        config.graphics_node = *node == "yes";
    }
    // A reader made before the modem existed has one, as readers do.
    if (const std::string* modem = find_value(entries, "modem")) {
        if (*modem != "yes" && *modem != "no") {
            error = "bad modem: " + *modem;
            return false;
        }
        config.modem = *modem == "yes";
    }
    if (const std::string* start = find_value(entries, "smem_start")) {
        const auto number = parse_unsigned(*start, UINT32_MAX);
        if (!number) {
            error = "bad smem_start: " + *start;
            return false;
        }
        config.smem_start = *number;
    }
    // A reader made before the eMMC existed keeps the defaults.
    if (const std::string* size = find_value(entries, "emmc_size")) {
        const auto number = parse_unsigned(*size);
        if (!number) {
            error = "bad emmc_size: " + *size;
            return false;
        }
        config.emmc_size = *number;
    }
    if (const std::string* unit = find_value(entries, "emmc_unit")) {
        const auto number = parse_unsigned(*unit, UINT32_MAX);
        if (!number) {
            error = "bad emmc_unit: " + *unit;
            return false;
        }
        config.emmc_unit = static_cast<std::uint32_t>(*number);
    }
    if (const std::string* touch = find_value(entries, "touch_devices")) {
        const auto number = parse_unsigned(*touch, UINT32_MAX);
        if (!number) {
            error = "bad touch_devices: " + *touch;
            return false;
        }
        config.touch_devices = static_cast<std::uint32_t>(*number);
    }
    if (const std::string* cs = find_value(entries, "spi_cs")) {
        const auto number = parse_unsigned(*cs, UINT32_MAX);
        if (!number) {
            error = "bad spi_cs: " + *cs;
            return false;
        }
        config.spi_cs = static_cast<std::uint32_t>(*number);
    }
    if (const std::string* nodes = find_value(entries, "emmc_nodes");
        nodes && !parse_emmc_nodes(*nodes, config.emmc_nodes)) {
        error = "bad emmc_nodes: " + *nodes;
        return false;
    }
    error = check_config(config);
    if (!error.empty())
        return false;
    out = config;
    return true;
}

}  // namespace vreader
