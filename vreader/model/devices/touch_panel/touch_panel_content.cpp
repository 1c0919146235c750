#include "vreader/model/devices/touch_panel/touch_panel_content.hpp"

#include "vreader/model/state/key_value.hpp"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <utility>

namespace vreader {
namespace {

// Numbers separated by blanks or commas; '/' parts them into groups.
std::optional<std::vector<std::vector<std::uint64_t>>> number_groups(std::string_view text, std::uint64_t max)
{
    std::vector<std::vector<std::uint64_t>> groups(1);
    std::string word;
    const auto flush = [&]() -> bool {
        if (word.empty())
            return true;
        const auto number = parse_unsigned(word, max);
        word.clear();
        if (!number)
            return false;
        groups.back().push_back(*number);
        return true;
    };
    for (const char c : text) {
        if (c == ' ' || c == '\t' || c == ',' || c == '/') {
            if (!flush())
                return std::nullopt;
            if (c == '/')
                groups.emplace_back();
        } else {
            word += c;
        }
    }
    if (!flush())
        return std::nullopt;
    return groups;
}

template <class T, std::size_t N>
bool fixed_numbers(std::string_view text, std::array<T, N>& out)
{
    const auto groups = number_groups(text, static_cast<std::uint64_t>(T(~T{0})));
    if (!groups || groups->size() != 1 || groups->front().size() != N)
        return false;
    std::copy(groups->front().begin(), groups->front().end(), out.begin());
    return true;
}

template <class T>
bool one_number(std::string_view text, T& out)
{
    std::array<T, 1> value{};
    if (!fixed_numbers(text, value))
        return false;
    out = value[0];
    return true;
}

std::vector<std::uint8_t> bytes_of(const std::vector<std::uint64_t>& numbers)
{
    return {numbers.begin(), numbers.end()};
}

bool axis_lists(std::string_view text, AxisLists& out)
{
    const auto groups = number_groups(text, 255);
    if (!groups || groups->size() != 2)
        return false;
    out = {bytes_of((*groups)[0]), bytes_of((*groups)[1])};
    return true;
}

// "1F" from "light.1F": a two-digit hexadecimal byte.
std::optional<std::uint8_t> key_byte(std::string_view key, std::string_view prefix)
{
    if (!key.starts_with(prefix) || key.size() != prefix.size() + 2)
        return std::nullopt;
    const auto value = parse_unsigned("0x" + std::string(key.substr(prefix.size())), 255);
    return value ? std::optional<std::uint8_t>(static_cast<std::uint8_t>(*value)) : std::nullopt;
}

template <class Range>
std::string joined(const Range& values)
{
    std::string text;
    for (const auto value : values)
        text += (text.empty() ? "" : " ") + std::to_string(value);
    return text;
}

// Hexadecimal bytes, reports parted by '/'.
bool touch_reports(std::string_view text, std::vector<std::vector<std::uint8_t>>& out)
{
    out.clear();
    std::vector<std::uint8_t> report;
    std::string word;
    for (const char c : std::string(text) + " ") {
        if (c != ' ' && c != '/' && c != ',') {
            word += c;
            continue;
        }
        if (!word.empty()) {
            const auto byte = parse_unsigned("0x" + word, 255);
            if (!byte)
                return false;
            report.push_back(static_cast<std::uint8_t>(*byte));
            word.clear();
        }
        if (c == '/' && !report.empty())
            out.push_back(std::exchange(report, {}));
    }
    if (!report.empty())
        out.push_back(report);
    return true;
}

std::string hex_bytes(const std::vector<std::uint8_t>& bytes)
{
    std::string text;
    for (const std::uint8_t byte : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", byte);
        text += (text.empty() ? "" : " ") + std::string(hex);
    }
    return text;
}

std::string byte_key(std::string_view prefix, std::uint8_t value)
{
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02X", value);
    return std::string(prefix) + hex;
}

void put_le(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace

TouchPanelContent default_touch_panel()
{
    TouchPanelContent content;
    // A finger put down at (300, 400), moved, lifted: state, x, y.
    content.touch = {{0xEE, 0x06, 0x04, 0x01, 0x2C, 0x01, 0x90, 0x01},
                     {0xEE, 0x06, 0x04, 0x02, 0x36, 0x01, 0x9A, 0x01},
                     {0xEE, 0x06, 0x04, 0x00, 0x36, 0x01, 0x9A, 0x01}};
    return content;
}

std::string format_touch_panel(const TouchPanelContent& c)
{
    std::string text = "# the touch-panel controller's content\n";
    text += "version=" + joined(c.version) + "\n";
    text += "active=" + std::to_string(c.active) + "\n";
    text += "scanning_counter=" + std::to_string(c.scanning_counter) + "\n";
    text += "config=" + std::to_string(c.config) + "\n";
    text += "scanning_freq=" + joined(c.scanning_freq) + "\n";
    text += "resolution=" + joined(c.resolution) + "\n";
    text += "active_leds=" + joined(c.active_leds) + "\n";
    text += "max_area=" + joined(c.max_area) + "\n";
    text += "light_counts=" + joined(c.light_counts) + "\n";
    for (const auto& [level, lists] : c.light)
        text += byte_key("light.", level) + "=" + joined(lists.x) + " / " + joined(lists.y) + "\n";
    for (const auto& [code, lists] : c.led)
        text += byte_key("led.", code) + "=" + joined(lists.x) + " / " + joined(lists.y) + "\n";
    std::string touch;
    for (const auto& report : c.touch)
        touch += (touch.empty() ? "" : " / ") + hex_bytes(report);
    text += "touch=" + touch + "\n";
    text += std::string("rts=") + (c.rts_high ? "high" : "low") + "\n";
    return text;
}

bool parse_touch_panel(std::string_view text, TouchPanelContent& out, std::string& error)
{
    std::vector<KeyValue> entries;
    if (!parse_key_values(text, entries, error))
        return false;
    TouchPanelContent c;
    for (const auto& [key, value] : entries) {
        bool ok = true;
        if (key == "version")
            ok = fixed_numbers(value, c.version);
        else if (key == "active")
            ok = one_number(value, c.active);
        else if (key == "scanning_counter")
            ok = one_number(value, c.scanning_counter);
        else if (key == "config")
            ok = one_number(value, c.config);
        else if (key == "scanning_freq")
            ok = fixed_numbers(value, c.scanning_freq);
        else if (key == "resolution")
            ok = fixed_numbers(value, c.resolution);
        else if (key == "active_leds")
            ok = fixed_numbers(value, c.active_leds);
        else if (key == "max_area")
            ok = fixed_numbers(value, c.max_area);
        else if (key == "light_counts")
            ok = fixed_numbers(value, c.light_counts);
        else if (const auto level = key_byte(key, "light."))
            ok = axis_lists(value, c.light[*level]);
        else if (const auto code = key_byte(key, "led."))
            ok = axis_lists(value, c.led[*code]);
        else if (key == "touch")
            ok = touch_reports(value, c.touch);
        else if (key == "rts") {
            ok = value == "high" || value == "low";
            c.rts_high = value == "high";
        } else {
            error = "unknown key " + key;
            return false;
        }
        if (!ok) {
            error = "bad " + key + ": " + value;
            return false;
        }
    }
    out = std::move(c);
    return true;
}

AxisLists light_at(const TouchPanelContent& content, std::uint8_t level)
{
    if (const auto found = content.light.find(level); found != content.light.end())
        return found->second;
    AxisLists lists;
    for (unsigned i = 0; i < content.light_counts[0]; ++i)
        lists.x.push_back(static_cast<std::uint8_t>(std::min(255u, 2u * level + i % 16)));
    for (unsigned i = 0; i < content.light_counts[1]; ++i)
        lists.y.push_back(static_cast<std::uint8_t>(std::min(255u, 2u * level + (i + 8) % 16)));
    return lists;
}

AxisLists led_results(const TouchPanelContent& content, std::uint8_t code)
{
    if (const auto found = content.led.find(code); found != content.led.end())
        return found->second;
    return {std::vector<std::uint8_t>(48, 0x21), std::vector<std::uint8_t>(64, 0x21)};
}

std::vector<std::uint8_t> status_record(const TouchPanelContent& c)
{
    std::vector<std::uint8_t> record;
    for (const std::uint16_t part : c.version)
        put_le(record, part, 2);
    record.push_back(c.active);
    put_le(record, c.scanning_counter, 2);
    put_le(record, c.config, 4);
    record.insert(record.end(), c.scanning_freq.begin(), c.scanning_freq.end());
    put_le(record, c.resolution[0], 2);
    put_le(record, c.resolution[1], 2);
    record.insert(record.end(), c.active_leds.begin(), c.active_leds.end());
    record.insert(record.end(), c.max_area.begin(), c.max_area.end());
    return record;
}

}  // namespace vreader
