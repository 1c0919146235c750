#include "vreader/model/devices/subcpu/subcpu_state.hpp"

#include "vreader/model/state/files.hpp"
#include "vreader/model/state/key_value.hpp"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace vreader {
namespace {

// What the charger reads after a reset.
const std::map<std::uint8_t, std::uint8_t> kChargerDefaults = {
    {0x00, 0x12}, {0x01, 0x34}, {0x02, 0x0C}, {0x03, 0x20}, {0x04, 0x0A}, {0x05, 0x00}, {0x06, 0x47},
    {0x07, 0x11}, {0x08, 0x80}, {0x09, 0x03}, {0x0A, 0x1F}, {0x0B, 0x05}, {0x30, 0x40}, {0x31, 0x00},
    {0x32, 0x01}, {0x33, 0x82}, {0x34, 0x00}, {0x35, 0x10}, {0x36, 0x64}, {0x37, 0x00}, {0x38, 0x0F},
    {0x39, 0x00}, {0x3D, 0x2A}, {0x3E, 0x00}, {0x3F, 0x07}};

std::string firmware_image(const VersionRecord& version, unsigned seed)
{
    std::string image(kFlashSize, '\xFF');
    const auto record = version_bytes(version);
    std::copy(record.begin(), record.end(), image.begin());
    for (std::size_t i = record.size(); i < 0x2000; ++i)
        image[i] = static_cast<char>((i * 7 + seed) & 0xFF);
    return image;
}

}  // namespace

std::array<std::uint8_t, 8> version_bytes(const VersionRecord& v)
{
    return {static_cast<std::uint8_t>(v.year >> 8),
            static_cast<std::uint8_t>(v.year),
            v.month,
            v.day,
            static_cast<std::uint8_t>(v.number >> 24),
            static_cast<std::uint8_t>(v.number >> 16),
            static_cast<std::uint8_t>(v.number >> 8),
            static_cast<std::uint8_t>(v.number)};
}

VersionRecord version_of(const std::uint8_t* b)
{
    return {static_cast<std::uint16_t>(b[0] << 8 | b[1]), b[2], b[3],
            std::uint32_t{b[4]} << 24 | std::uint32_t{b[5]} << 16 | std::uint32_t{b[6]} << 8 | b[7]};
}

std::string format_version(const VersionRecord& v)
{
    char text[40];
    std::snprintf(text, sizeof text, "%04u%02u%02u_%lu", v.year, v.month, v.day, static_cast<unsigned long>(v.number));
    return text;
}

bool parse_version(std::string_view text, VersionRecord& out)
{
    const auto underscore = text.find('_');
    if (underscore != 8)
        return false;
    const auto date = parse_unsigned(text.substr(0, 8), 99999999);
    const auto number = parse_unsigned(text.substr(9), UINT32_MAX);
    if (!date || !number)
        return false;
    out = {static_cast<std::uint16_t>(*date / 10000), static_cast<std::uint8_t>(*date / 100 % 100),
           static_cast<std::uint8_t>(*date % 100), static_cast<std::uint32_t>(*number)};
    return true;
}

bool is_config_register(std::uint8_t reg)
{
    return std::find(std::begin(kConfigRegisters), std::end(kConfigRegisters), reg) != std::end(kConfigRegisters);
}

SubCpuState default_subcpu()
{
    SubCpuState state;
    state.charger = kChargerDefaults;
    return state;
}

std::string format_subcpu(const SubCpuState& s)
{
    std::string text = "control_mode=" + s.control_mode + "\nupdate_mode=" + (s.update_mode ? "1" : "0") +
                       "\nactive_cluster=" + std::to_string(s.active_cluster) +
                       "\nboot_cluster=" + std::to_string(s.boot_cluster) +
                       "\nversion_self=" + format_version(s.version_self) + "\n";
    for (const auto& [reg, value] : s.charger) {
        char line[32];
        std::snprintf(line, sizeof line, "charger.%02X=0x%02X\n", reg, value);
        text += line;
    }
    return text;
}

bool parse_subcpu(std::string_view text, SubCpuState& out, std::string& error)
{
    std::vector<KeyValue> entries;
    if (!parse_key_values(text, entries, error))
        return false;
    SubCpuState s = default_subcpu();
    for (const auto& [key, value] : entries) {
        bool ok = true;
        if (key == "control_mode") {
            s.control_mode = value;
        } else if (key == "update_mode" || key == "active_cluster" || key == "boot_cluster") {
            const auto number = parse_unsigned(value, 1);
            ok = number.has_value();
            const bool one = number.value_or(0) == 1;
            if (key == "update_mode")
                s.update_mode = one;
            else
                (key == "active_cluster" ? s.active_cluster : s.boot_cluster) = one ? 1 : 0;
        } else if (key == "version_self") {
            ok = parse_version(value, s.version_self);
        } else if (key.starts_with("charger.") && key.size() == 10) {
            const auto reg = parse_unsigned("0x" + key.substr(8), 255);
            const auto number = parse_unsigned(value, 255);
            ok = reg && number;
            if (ok)
                s.charger[static_cast<std::uint8_t>(*reg)] = static_cast<std::uint8_t>(*number);
        } else {
            error = "unknown key " + key;
            return false;
        }
        if (!ok) {
            error = "bad " + key + ": " + value;
            return false;
        }
    }
    out = std::move(s);
    return true;
}

std::string cluster_file(unsigned cluster) { return "subcpu.cluster" + std::to_string(cluster); }

int create_subcpu(const std::string& root)
{
    int e = replace_file(root + std::string(kSubCpuStateFile), format_subcpu(default_subcpu()));
    if (e == 0)
        e = replace_file(root + cluster_file(0), firmware_image({2019, 5, 21, 1234}, 3));
    if (e == 0)
        e = replace_file(root + cluster_file(1), firmware_image({2018, 12, 3, 1100}, 5));
    if (e == 0)
        e = replace_file(root + std::string(kSubCpuReceivedFile), std::string(kFlashSize, '\xFF'));
    return e;
}

}  // namespace vreader
