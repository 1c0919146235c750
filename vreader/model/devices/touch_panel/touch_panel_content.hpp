// What the virtual touch-panel controller answers with, and what it keeps:
// touch_panel.conf in the reader's directory, key=value, for a person or a
// test to edit (or through `vreader set DIR panel.KEY VALUE`):
//
//     version=2 1 263 3            the four 16-bit version parts
//     active=0                     set by the active and deactive commands
//     scanning_counter=1234
//     config=0                     the word the setconfig command writes
//     scanning_freq=25 100 200     idle, finger, pen
//     resolution=600 800
//     active_leds=0 47 0 63        start_x end_x start_y end_y
//     max_area=10 12
//     light_counts=48 64           values per axis at a level without a line
//     light.1F=10 20 30 / 40 50    X values / Y values measured at level 0x1F
//     led.0E=33 33 / 34            X results / Y results of LED check 0x0E
//     led.1B=...                   the same for LED check 0x1B
//     touch=EE 06 04 ... / EE ...  touch reports streamed after touch start
//     rts=high                     the panel's hand-shake line: high or low
//
// Numbers are decimal or 0x-hexadecimal; list values are bytes.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vreader {

inline constexpr std::string_view kTouchPanelFile = "touch_panel.conf";

struct AxisLists {
    std::vector<std::uint8_t> x;
    std::vector<std::uint8_t> y;
};

struct TouchPanelContent {
    std::array<std::uint16_t, 4> version = {2, 1, 263, 3};
    std::uint8_t active = 0;
    std::uint16_t scanning_counter = 1234;
    std::uint32_t config = 0;
    std::array<std::uint8_t, 3> scanning_freq = {25, 100, 200};
    std::array<std::uint16_t, 2> resolution = {600, 800};
    std::array<std::uint8_t, 4> active_leds = {0, 47, 0, 63};
    std::array<std::uint8_t, 2> max_area = {10, 12};
    std::array<std::uint8_t, 2> light_counts = {48, 64};
    std::map<std::uint8_t, AxisLists> light;  // by level
    std::map<std::uint8_t, AxisLists> led;    // by command code
    std::vector<std::vector<std::uint8_t>> touch;
    bool rts_high = true;
};

// The content a new reader starts with: a few touch reports, no lists of
// their own (the defaults below apply).
TouchPanelContent default_touch_panel();

std::string format_touch_panel(const TouchPanelContent& content);
bool parse_touch_panel(std::string_view text, TouchPanelContent& out, std::string& error);

// The measurement at `level`: its own lists, or light_counts values that
// grow with the level.
AxisLists light_at(const TouchPanelContent& content, std::uint8_t level);
// The LED results of check `code` (0x0E or 0x1B): its own lists, or 48 X
// and 64 Y results of 0x21.
AxisLists led_results(const TouchPanelContent& content, std::uint8_t code);

// The status record: 28 bytes, multi-byte fields little-endian.
std::vector<std::uint8_t> status_record(const TouchPanelContent& content);

}  // namespace vreader
