#include "rawdata/raw_table.hpp"

#include "platform/numbers.hpp"
#include "platform/sys.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace rawdata {
namespace {

constexpr std::size_t kAreaLine = 80;   // morvane and devprov
constexpr std::size_t kBootLine = 128;  // boskel
constexpr std::size_t kOffsetText = 15;

// The table's text, or -1 with errno.
struct TableText {
    char text[kTableMax];
    ssize_t length;
};

void read_table(const char* path, TableText& table)
{
    table.length = sys::read_text(path, table.text, sizeof table.text);
}

bool ends_offset_text(char c) { return c == '\0' || c == ':' || c == ' ' || c == '\t' || c == '\n'; }

}  // namespace

bool LineReader::next(char* line, std::size_t size)
{
    if (size == 0 || at_ >= length_)
        return false;
    std::size_t n = 0;
    while (n + 1 < size && at_ < length_) {
        const char c = text_[at_++];
        line[n++] = c;
        if (c == '\n')
            break;
    }
    line[n] = '\0';
    return true;
}

AreaLookup find_area_in(const char* text, std::size_t length, const char* key)
{
    const std::size_t key_length = std::strlen(key);
    LineReader lines(text, length);
    char line[kAreaLine];
    while (lines.next(line, sizeof line)) {
        if (std::strncmp(line, key, key_length) != 0)
            continue;
        // A line that ends right after the key has nothing past it to search.
        const std::size_t from = std::min(key_length + 1, std::strlen(line));
        const char* first = std::strchr(line + from, ':');
        if (first == nullptr)
            return {AreaStatus::NoOffset};
        AreaLookup found{AreaStatus::Found};
        found.offset = sys::strtoul(first + 1, nullptr, 0);
        const char* second = std::strchr(first + 1, ':');
        if (second == nullptr)
            return {AreaStatus::NoSize};
        found.size = sys::strtoul(second + 1, nullptr, 0);
        return found;
    }
    return {AreaStatus::NoLine};
}

AreaLookup find_area(const char* key)
{
    TableText table;
    read_table(RAWDATA_PARAM, table);
    if (table.length < 0)
        return {AreaStatus::NoTable, errno};
    return find_area_in(table.text, static_cast<std::size_t>(table.length), key);
}

bool find_boot_areas_in(const char* text, std::size_t length, BootAreas& out)
{
    out = BootAreas{};
    LineReader lines(text, length);
    char line[kBootLine];
    while (lines.next(line, sizeof line)) {
        const char* mark = std::strstr(line, ":0x");
        if (mark == nullptr)
            continue;
        char offset_text[kOffsetText + 1];
        std::size_t n = 0;
        while (n < kOffsetText && !ends_offset_text(mark[1 + n])) {
            offset_text[n] = mark[1 + n];
            ++n;
        }
        offset_text[n] = '\0';
        const char* after = mark + 1 + n;
        if (std::strncmp(after, ":0x", 3) != 0)
            continue;
        const std::uint32_t offset = sys::strtoul(offset_text, nullptr, 16);
        const std::uint32_t size = sys::strtoul(after + 1, nullptr, 16);
        for (int row = 0; row < kBootAreas; ++row) {
            if (std::strncmp(line, kBootEnvKeys[row], std::strlen(kBootEnvKeys[row])) == 0) {
                out.offset[row] = offset;
                out.size[row] = static_cast<std::int32_t>(size);
                break;
            }
        }
    }
    for (int row = 0; row < kBootAreas; ++row) {
        if (out.offset[row] == 0 || out.size[row] == 0)
            return false;
        out.env_size = std::min(out.env_size, out.size[row]);
    }
    // A size of 2 GiB or more reads as negative; copying that many bytes
    // would run far past the active area, so such a table is refused.
    return out.env_size > 0;
}

bool read_dev_no_in(const char* text, std::size_t length, int& dev_no)
{
    LineReader lines(text, length);
    char line[kBootLine];
    if (!lines.next(line, sizeof line))
        return false;
    const std::uint32_t number = sys::strtoul(line, nullptr, 10);
    if (number != 0 && number != 2)
        return false;
    dev_no = static_cast<int>(number);
    return true;
}

bool find_boot_areas(BootAreas& out, int& dev_no)
{
    TableText table;
    read_table(RAWDATA_PARAM, table);
    if (table.length < 0 || !find_boot_areas_in(table.text, static_cast<std::size_t>(table.length), out))
        return false;
    read_table(MMC_DEV_NO, table);
    return table.length >= 0 && read_dev_no_in(table.text, static_cast<std::size_t>(table.length), dev_no);
}

bool area_on_device(int fd, std::uint64_t offset, std::uint64_t size)
{
    const off_t end = sys::lseek(fd, 0, SEEK_END);
    if (end < 0)
        return false;
    const auto device_size = static_cast<std::uint64_t>(end);
    if (offset <= device_size && size <= device_size - offset)
        return true;
    errno = ENXIO;
    return false;
}

}  // namespace rawdata
