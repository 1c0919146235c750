// devprov: writes and reads the reader's identity data in the eMMC's "Id"
// area. The area is mapped once at start; one operation, chosen by a long
// option, works on the mapping; the flush at exit commits what it wrote.
#pragma once

#include "protocol/identity_area.hpp"

#include <cstdint>

namespace devprov {

// Every operation: the mapped area, the option's argument (null when it
// takes none). 0 for success, -1 for failure.
using Operation = int (*)(std::uint8_t* area, const char* argument);

using Field = protocol::identity::Field;

// The identity area's fields, offsets from the start of the area.
inline constexpr const auto& offset_address_name = protocol::identity::kFields;

// The fields the operations write.
inline constexpr std::uint32_t kWifiMacAddress = protocol::identity::kWifiMacAddress.offset;
inline constexpr std::uint32_t kMacLength = protocol::identity::kWifiMacAddress.length;
inline constexpr std::uint32_t kMeid = protocol::identity::kMeid.offset;
inline constexpr std::uint32_t kMeidLength = protocol::identity::kMeid.length;
inline constexpr std::uint32_t kPsn = protocol::identity::kPsn.offset;
inline constexpr std::uint32_t kPsnLength = protocol::identity::kPsn.length;
inline constexpr std::uint32_t kPsnCheckDigit = protocol::identity::kPsnCheckDigit.offset;
inline constexpr std::uint32_t kMoaSize = protocol::identity::kMoaSize.offset;
inline constexpr std::uint32_t kMoaKey = protocol::identity::kMoaKeyOffset;  // the key blob, moa_size bytes

// The mapping's length (id_area).
extern std::uint32_t L_emmc_id_area_size;

// Whether `length` bytes at `offset` lie inside the mapped area.
bool in_area(std::uint32_t offset, std::uint32_t length);

// id_area
int get_offset(std::uint8_t* area, const char* argument);
int get_dump(std::uint8_t* area, const char* name);

// wifi
int wifi_set_mac_address(std::uint8_t* area, const char* interface);

// wan
int execute_command(int fd, const char* command, const char* prefix, char* destination, int length);
// "AT" until the modem answers OK (a time-out, or ten errors, give up), then
// `command` on the open port: 0 once it answered OK, -1 otherwise.
int command_after_handshake(int fd, const char* command, const char* prefix, char* destination, int length);
int sequence_command(const char* device, const char* command, const char* prefix, char* destination, int length);
int wan_set_meid(std::uint8_t* area, const char* device);
int wan_set_psn(std::uint8_t* area, const char* device);
// The two check digits of an 11-character serial number, as ASCII.
void psn_check_digits(const char* psn, char digits[2]);

// moa
int moa_set_device_key(std::uint8_t* area, const char* argument);
// Hex text from `fd`, two digits a byte, into `key`, until the input ends or
// a Ctrl-D; other control characters are skipped, and an odd last digit is
// left out of `count`. false for any other character, or for more than
// `room` bytes.
bool read_hex_key(int fd, std::uint8_t* key, std::uint32_t room, std::uint32_t& count);
int moa_get_device_key(std::uint8_t* area, const char* argument);

int devprov_main(int argc, char** argv);

}  // namespace devprov
