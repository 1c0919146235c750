// The reader's identity data: the "Id" raw area of the eMMC, as the factory
// leaves it and as the provisioning tool fills it in. Its fields are laid
// out as protocol/identity_area.hpp gives them:
//
//     field              written
//     product_name       at the factory
//     sku_name           at the factory
//     device_id          at the factory
//     serial_number      at the factory
//     wifi_mac_address   by provisioning: the Wi-Fi interface's MAC
//     meid               by provisioning: the WAN modem's MEID
//     psn                by provisioning: the modem's serial number
//     psn_check_digit    by provisioning: two ASCII digits
//     factoryid          at the factory
//     moa_size           by provisioning: the key blob's length
//     (key blob)         by provisioning
//
// Text fields are ASCII, zero-padded. A new reader has the factory's fields
// filled in and every field that provisioning writes erased to 0xFF, the key
// blob's bytes up to the end of the area included (so moa_size reads
// 0xFFFFFFFF, more than the area holds); the gaps between fields are zero.
#pragma once

#include "protocol/identity_area.hpp"

#include <cstdint>
#include <string>
#include <string_view>

namespace vreader {

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
