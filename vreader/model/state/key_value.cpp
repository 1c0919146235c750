#include "vreader/model/state/key_value.hpp"

#include <charconv>

namespace vreader {
namespace {

std::string_view trim(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

}  // namespace

bool parse_key_values(std::string_view text, std::vector<KeyValue>& out, std::string& error)
{
    out.clear();
    size_t line_number = 0;
    while (!text.empty()) {
        ++line_number;
        const auto end = text.find('\n');
        const std::string_view line = trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.empty() || line.front() == '#')
            continue;
        const auto equals = line.find('=');
        if (equals == std::string_view::npos) {
            error = "line " + std::to_string(line_number) + " has no '=': " + std::string(line);
            return false;
        }
        out.push_back({std::string(trim(line.substr(0, equals))), std::string(trim(line.substr(equals + 1)))});
    }
    return true;
}

const std::string* find_value(const std::vector<KeyValue>& entries, std::string_view key)
{
    for (const auto& entry : entries)
        if (entry.key == key)
            return &entry.value;
    return nullptr;
}

std::optional<std::uint64_t> parse_unsigned(std::string_view text, std::uint64_t max)
{
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || value > max)
        return std::nullopt;
    return value;
}

std::optional<std::int64_t> parse_signed(std::string_view text, std::int64_t min, std::int64_t max)
{
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || value < min || value > max)
        return std::nullopt;
    return value;
}

}  // namespace vreader
