#include "vreader/model/devices/emmc/identity_area.hpp"

#include <algorithm>
#include <cstdio>

namespace vreader {
namespace {

namespace identity = protocol::identity;
using identity::kMoaKeyOffset;

// What the factory test line records about the unit, one text record.
constexpr std::string_view kFactoryRecord =
    "ZEPA-FID/2;line=K1-03;station=FT-12;date=2024-05-17;lot=2405A;board=MB-K1-R4;panel=EP060-1448;"
    "battery=BT-1500-C;result=PASS";

constexpr std::size_t kHexShown = 16;

void put(std::string& area, const identity::Field& f, std::string_view value)
{
    if (f.offset + f.length <= area.size())
        area.replace(f.offset, std::min<std::size_t>(value.size(), f.length), value.substr(0, f.length));
}

bool printable(char c) { return c >= 0x20 && c < 0x7F; }

std::string hex(std::string_view bytes)
{
    std::string text;
    for (std::size_t i = 0; i < std::min(bytes.size(), kHexShown); ++i) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(bytes[i]));
        text += (i == 0 ? "" : " ") + std::string(digits);
    }
    return bytes.size() > kHexShown ? text + " ..." : text;
}

bool erased(std::string_view bytes)
{
    return !bytes.empty() &&
           std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<std::uint8_t>(c) == kErasedByte; });
}

// Quoted text when the bytes are printable ASCII and then only zeros.
std::string content(std::string_view bytes)
{
    const std::size_t end = bytes.find_last_not_of('\0');
    const std::string_view text = bytes.substr(0, end == std::string_view::npos ? 0 : end + 1);
    if (!text.empty() && std::all_of(text.begin(), text.end(), printable))
        return "\"" + std::string(text) + "\"";
    return hex(bytes) + (erased(bytes) ? " (erased)" : "");
}

std::string line(std::string_view name, std::uint32_t offset, std::string_view length, std::string_view shown)
{
    char head[64];
    std::snprintf(head, sizeof head, "%-17.*s 0x%04X %6.*s  ", static_cast<int>(name.size()), name.data(), offset,
                  static_cast<int>(length.size()), length.data());
    return head + std::string(shown) + "\n";
}

}  // namespace

std::string factory_identity(std::uint64_t area_size)
{
    std::string area(static_cast<std::size_t>(area_size), '\0');
    put(area, identity::kProductName, kFactoryProductName);
    put(area, identity::kSkuName, kFactorySkuName);
    put(area, identity::kDeviceId, kFactoryDeviceId);
    put(area, identity::kSerialNumber, kFactorySerialNumber);
    put(area, identity::kFactoryId, kFactoryRecord);
    for (const identity::Field& f :
         {identity::kWifiMacAddress, identity::kMeid, identity::kPsn, identity::kPsnCheckDigit, identity::kMoaSize})
        put(area, f, std::string(f.length, static_cast<char>(kErasedByte)));
    if (kMoaKeyOffset < area.size())
        std::fill(area.begin() + kMoaKeyOffset, area.end(), static_cast<char>(kErasedByte));
    return area;
}

std::string describe_identity(std::string_view area)
{
    std::string text;
    for (const identity::Field& f : identity::kFields) {
        const std::string length = std::to_string(f.length);
        if (f.offset + f.length > area.size()) {
            text += line(f.name, f.offset, length, "(outside the area)");
            continue;
        }
        const std::string_view bytes = area.substr(f.offset, f.length);
        if (f.offset != identity::kMoaSize.offset) {
            text += line(f.name, f.offset, length, content(bytes));
            continue;
        }
        std::uint32_t size = 0;
        for (int i = 3; i >= 0; --i)
            size = size << 8 | static_cast<std::uint8_t>(bytes[i]);
        const std::size_t room = area.size() > kMoaKeyOffset ? area.size() - kMoaKeyOffset : 0;
        const bool fits = size <= room;
        const std::string note = erased(bytes) ? (fits ? " (erased)" : " (erased; more than the area holds)")
                                               : (fits ? "" : " (more than the area holds)");
        text += line(f.name, f.offset, length, std::to_string(size) + note);
        // What follows moa_size is shown even when the size cannot be right.
        const std::string_view key = area.substr(std::min<std::size_t>(kMoaKeyOffset, area.size()), fits ? size : room);
        text += line("(key blob)", kMoaKeyOffset, fits ? std::to_string(size) : "-",
                     key.empty() ? "(none)" : hex(key) + (erased(key) ? " (erased)" : ""));
    }
    return text;
}

}  // namespace vreader
