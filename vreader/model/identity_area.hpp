// The reader's identity data: the "Id" raw area of the eMMC, as the factory
// leaves it and as the provisioning tool fills it in. Offsets are from the
// start of the area:
//
//     field              offset  length  written
//     product_name       0x0000      16  at the factory
//     sku_name           0x0010      16  at the factory
//     device_id          0x0020      16  at the factory
//     serial_number      0x0030      15  at the factory
//     wifi_mac_address   0x0100       6  by provisioning: the Wi-Fi interface's MAC
//     meid               0x0200      14  by provisioning: the WAN modem's MEID
//     psn                0x0210      11  by provisioning: the modem's serial number
//     psn_check_digit    0x021B       2  by provisioning: two ASCII digits
//     factoryid          0x1000    4096  at the factory
//     moa_size           0x3000       4  by provisioning: the key blob's length,
//                                        unsigned 32-bit little-endian
//     (key blob)         0x3004  moa_size  by provisioning; no entry of its own
//
// Text fields are ASCII, zero-padded. A new reader has the factory's fields
// filled in and every field that provisioning writes erased to 0xFF, the key
// blob's bytes up to the end of the area included (so moa_size reads
// 0xFFFFFFFF, more than the area holds); the gaps between fields are zero.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vreader {

struct IdField {
    std::string_view name;
    std::uint32_t offset;
    std::uint32_t length;
};

inline constexpr IdField kIdFields[] = {
    {"product_name", 0x0000, 16},  {"sku_name", 0x0010, 16},        {"device_id", 0x0020, 16},
    {"serial_number", 0x0030, 15}, {"wifi_mac_address", 0x0100, 6}, {"meid", 0x0200, 14},
    {"psn", 0x0210, 11},           {"psn_check_digit", 0x021B, 2},  {"factoryid", 0x1000, 4096},
    {"moa_size", 0x3000, 4},
};
inline constexpr std::uint32_t kMoaKeyOffset = 0x3004;
inline constexpr std::uint8_t kErasedByte = 0xFF;

// The factory's values of a new reader.
inline constexpr std::string_view kFactoryProductName = "QLX-K1";
inline constexpr std::string_view kFactorySkuName = "QLX-K1-WW-BK";
inline constexpr std::string_view kFactoryDeviceId = "ZPK1A4C71E2F9360";  // fills its field: no NUL
inline constexpr std::string_view kFactorySerialNumber = "QK1W2405170042";

// The first `area_size` bytes of a new reader's identity area.
std::string factory_identity(std::uint64_t area_size);

// The area's fields, one a line: name, offset, length and content (quoted
// text when printable ASCII followed only by zeros, else the first 16 bytes
// in hex), then the key blob that moa_size announces.
std::string describe_identity(std::string_view area);

}  // namespace vreader
