#include "vreader/model/devices/emmc/rawdata_table.hpp"

#include "vreader/model/state/files.hpp"
#include "vreader/model/state/key_value.hpp"

#include <cctype>
#include <cstdio>

namespace vreader {
namespace {

std::optional<std::uint64_t> hex_number(std::string_view text)
{
    if (!text.starts_with("0x"))
        return std::nullopt;
    return parse_unsigned(text);
}

bool starts_without_case(std::string_view name, std::string_view words)
{
    if (words.size() > name.size())
        return false;
    for (size_t i = 0; i < words.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(name[i])) != std::tolower(static_cast<unsigned char>(words[i])))
            return false;
    return true;
}

}  // namespace

std::vector<RawArea> default_areas()
{
    return {
        {std::string(kWaveformArea), 0x00100000, 0x00200000},
        {std::string(kIdArea), 0x00400000, 0x00020000},
        {std::string(kBootEnvArea), 0x00600000, 0x00020000},
        {std::string(kNormalBootEnvArea), 0x00620000, 0x00020000},
        {std::string(kRecoveryBootEnvArea), 0x00640000, 0x00020000},
    };
}

std::string format_rawdata_table(const std::vector<RawArea>& areas)
{
    std::string text;
    for (const RawArea& area : areas) {
        char numbers[48];
        std::snprintf(numbers, sizeof numbers, ":0x%08llX:0x%08llX\n", static_cast<unsigned long long>(area.offset),
                      static_cast<unsigned long long>(area.size));
        text += area.name + numbers;
    }
    return text;
}

std::vector<RawArea> parse_rawdata_table(std::string_view text, std::vector<std::string>* unread)
{
    std::vector<RawArea> areas;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.empty())
            continue;
        // NAME:0xOFFSET:0xSIZE, the name being everything before the first colon.
        const auto first = line.find(':');
        const auto second = first == std::string_view::npos ? first : line.find(':', first + 1);
        std::optional<std::uint64_t> offset, size;
        if (second != std::string_view::npos) {
            offset = hex_number(line.substr(first + 1, second - first - 1));
            size = hex_number(line.substr(second + 1));
        }
        if (first == 0 || !offset || !size) {
            if (unread != nullptr)
                unread->emplace_back(line);
            continue;
        }
        areas.push_back({std::string(line.substr(0, first)), *offset, *size});
    }
    return areas;
}

const RawArea* find_area(const std::vector<RawArea>& areas, std::string_view name)
{
    for (const RawArea& area : areas)
        if (area.name == name)
            return &area;
    return nullptr;
}

const RawArea* match_area(const std::vector<RawArea>& areas, std::string_view words, std::string& error)
{
    if (const RawArea* exact = find_area(areas, words))
        return exact;
    const RawArea* found = nullptr;
    for (const RawArea& area : areas) {
        if (!words.empty() && starts_without_case(area.name, words)) {
            if (found != nullptr) {
                error = "'" + std::string(words) + "' names more than one area";
                return nullptr;
            }
            found = &area;
        }
    }
    if (found == nullptr) {
        error = "no area is named '" + std::string(words) + "'; the areas are:";
        for (const RawArea& area : areas)
            error += " '" + area.name + "'";
    }
    return found;
}

int read_areas(const ReaderDir& dir, std::vector<RawArea>& out, std::vector<std::string>* unread,
               std::size_t* file_size)
{
    std::string text;
    if (const int e = read_file(dir.file(kRawdataParamFile), text))
        return e;
    if (file_size != nullptr)
        *file_size = text.size();
    out = parse_rawdata_table(std::string_view(text).substr(0, kShownTableBytes), unread);
    return 0;
}

}  // namespace vreader
