// What the display controller and its panel keep between runs (epdc.state):
// orientation, visible page, settings, the panel's EEPROM and the standby
// screen's presence.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vreader {

using WaveformVersion = std::array<std::uint8_t, 10>;

struct EpdcState {
    std::uint32_t rotate = 0;
    std::uint32_t yoffset = 0;
    std::uint32_t update_scheme = 0;
    std::int32_t default_temperature = 25;
    std::int32_t pmic_temperature = 25;
    std::int32_t pwrdown_delay = 0;
    std::uint32_t vcom = 1250000;
    WaveformVersion wf_version = {0x3C, 0x00, 0x0A, 0x1F, 0x22, 0x10, 0x0E, 0x0D, 0x01, 0x00};
    std::uint8_t panel_init_flag = 0;
    bool standby = false;
    std::uint32_t standby_width = 0;
    std::uint32_t standby_height = 0;
};

std::string format_state(const EpdcState& state);

// Keys missing from the text keep their defaults.
bool parse_state(std::string_view text, EpdcState& out, std::string& error);

// 20 hexadecimal digits, upper case, bytes in order.
std::string format_wf_version(const WaveformVersion& version);
std::optional<WaveformVersion> parse_wf_version(std::string_view hex);

}  // namespace vreader
