#include "vreader/model/devices/display/epdc_state.hpp"

#include "vreader/model/state/key_value.hpp"

#include <vector>

namespace vreader {

std::string format_wf_version(const WaveformVersion& version)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    for (const std::uint8_t byte : version) {
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

std::optional<WaveformVersion> parse_wf_version(std::string_view hex)
{
    if (hex.size() != 20)
        return std::nullopt;
    const auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    WaveformVersion version{};
    for (size_t i = 0; i < version.size(); ++i) {
        const int high = nibble(hex[2 * i]);
        const int low = nibble(hex[2 * i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        version[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return version;
}

std::string format_state(const EpdcState& s)
{
    return "rotate=" + std::to_string(s.rotate) + "\n" + "yoffset=" + std::to_string(s.yoffset) + "\n" +
           "update_scheme=" + std::to_string(s.update_scheme) + "\n" +
           "default_temperature=" + std::to_string(s.default_temperature) + "\n" +
           "pmic_temperature=" + std::to_string(s.pmic_temperature) + "\n" +
           "pwrdown_delay=" + std::to_string(s.pwrdown_delay) + "\n" + "vcom=" + std::to_string(s.vcom) + "\n" +
           "wf_version=" + format_wf_version(s.wf_version) + "\n" +
           "panel_init_flag=" + std::to_string(s.panel_init_flag) + "\n" + "standby=" + (s.standby ? "yes" : "no") +
           "\n" + "standby_width=" + std::to_string(s.standby_width) + "\n" +
           "standby_height=" + std::to_string(s.standby_height) + "\n";
}

bool parse_state(std::string_view text, EpdcState& out, std::string& error)
{
    std::vector<KeyValue> entries;
    if (!parse_key_values(text, entries, error))
        return false;
    EpdcState s;
    bool ok = true;
    const auto bad = [&](const KeyValue& entry) {
        error = "bad " + entry.key + ": " + entry.value;
        ok = false;
    };
    const auto unsigned_field = [&](const KeyValue& entry, std::uint32_t& field, std::uint64_t max) {
        if (const auto v = parse_unsigned(entry.value, max))
            field = static_cast<std::uint32_t>(*v);
        else
            bad(entry);
    };
    const auto signed_field = [&](const KeyValue& entry, std::int32_t& field) {
        if (const auto v = parse_signed(entry.value, INT32_MIN, INT32_MAX))
            field = static_cast<std::int32_t>(*v);
        else
            bad(entry);
    };
    for (const auto& e : entries) {
        if (e.key == "rotate")
            unsigned_field(e, s.rotate, 3);
        else if (e.key == "yoffset")
            unsigned_field(e, s.yoffset, UINT32_MAX);
        else if (e.key == "update_scheme")
            unsigned_field(e, s.update_scheme, 2);
        else if (e.key == "default_temperature")
            signed_field(e, s.default_temperature);
        else if (e.key == "pmic_temperature")
            signed_field(e, s.pmic_temperature);
        else if (e.key == "pwrdown_delay")
            signed_field(e, s.pwrdown_delay);
        else if (e.key == "vcom")
            unsigned_field(e, s.vcom, UINT32_MAX);
        else if (e.key == "wf_version") {
            if (const auto v = parse_wf_version(e.value))
                s.wf_version = *v;
            else
                bad(e);
        } else if (e.key == "panel_init_flag") {
            std::uint32_t flag = 0;
            unsigned_field(e, flag, 1);
            s.panel_init_flag = static_cast<std::uint8_t>(flag);
        } else if (e.key == "standby") {
            if (e.value == "yes" || e.value == "no")
                s.standby = e.value == "yes";
            else
                bad(e);
        } else if (e.key == "standby_width")
            unsigned_field(e, s.standby_width, UINT32_MAX);
        else if (e.key == "standby_height")
            unsigned_field(e, s.standby_height, UINT32_MAX);
        if (!ok)
            return false;
    }
    out = s;
    return true;
}

}  // namespace vreader
