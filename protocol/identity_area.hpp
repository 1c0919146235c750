// The layout of the reader's identity data, the eMMC's "Id" raw area, as the
// provisioning tool writes it and the virtual reader's eMMC holds it.
// Offsets are from the start of the area:
//
//     field              offset  length
//     product_name       0x0000      16
//     sku_name           0x0010      16
//     device_id          0x0020      16
//     serial_number      0x0030      15
//     wifi_mac_address   0x0100       6
//     meid               0x0200      14
//     psn                0x0210      11
//     psn_check_digit    0x021B       2
//     factoryid          0x1000    4096
//     moa_size           0x3000       4   unsigned 32-bit little-endian
//     (key blob)         0x3004  moa_size; no entry of its own
#pragma once

#include <cstdint>

namespace protocol::identity {

struct Field {
    const char* name;
    std::uint32_t offset;
    std::uint32_t length;
};

inline constexpr Field kProductName{"product_name", 0x0000, 16};
inline constexpr Field kSkuName{"sku_name", 0x0010, 16};
inline constexpr Field kDeviceId{"device_id", 0x0020, 16};
inline constexpr Field kSerialNumber{"serial_number", 0x0030, 15};
inline constexpr Field kWifiMacAddress{"wifi_mac_address", 0x0100, 6};
inline constexpr Field kMeid{"meid", 0x0200, 14};
inline constexpr Field kPsn{"psn", 0x0210, 11};
inline constexpr Field kPsnCheckDigit{"psn_check_digit", 0x021B, 2};
inline constexpr Field kFactoryId{"factoryid", 0x1000, 4096};
inline constexpr Field kMoaSize{"moa_size", 0x3000, 4};

// Every field, in the area's order.
inline constexpr Field kFields[] = {
    kProductName, kSkuName, kDeviceId,      kSerialNumber, kWifiMacAddress,
    kMeid,        kPsn,     kPsnCheckDigit, kFactoryId,    kMoaSize,
};

// The key blob follows its size.
inline constexpr std::uint32_t kMoaKeyOffset = kMoaSize.offset + kMoaSize.length;
static_assert(kMoaKeyOffset == 0x3004);

}  // namespace protocol::identity
