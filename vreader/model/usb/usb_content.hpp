// What the reader keeps for its USB side: usb.conf in the reader's directory,
// key=value, for a person or a test to edit (or through
// `vreader set DIR usb.KEY VALUE`):
//
//     vendor=ZEPA              INQUIRY identification: at most 8, 16 and 4
//     product=QLX-K1           characters, sent padded with spaces
//     revision=2081
//     volumes=E:emb, F:ext,sd, G:ext,ms,
//                              the volumes: a drive letter, ':' and its
//                              vendor-specific INQUIRY text (at most 20
//                              characters, no blanks), blank-separated; a
//                              letter not listed has no volume
//     locked=0                 1 while the reader is locked
//     unlock_code=0000         the code that unlocks it, at most 7 characters
//     version=01000010         the protocol version, 8 characters
//     connected=0              the connected flag the PC sent last
//     clock=                   the clock record written last (28 bytes, hex)
//     notice=0                 the begin/end value sent last, and how many
//     notices=0                came
//     free_space=1073741824    bytes, sent as a 64-bit number
//     media_state=00 ...       8 bytes, hex
//     property_head=00 ...     the property block's first 32 bytes, hex
//     device_type=QLX-K1       at most 51 characters
//     property_entry=...       the one property entry, at most 255 characters
//     fingerprint=00 01 ...    what the fingerprint query answers, hex
//     info.QUERY=TEXT          what the information query QUERY answers
//     getinfo_ack=none         the count of bytes not fetched that the PC
//                              acknowledged last
//     update_mode=0            0 normal, 1 update (partition commands work)
//     file_status=0            when not 0: the status the next file read or
//                              write answers, whatever its request
//     tunnel_status=0          when not 0: the status the next response
//                              hand-over's header carries
//     command=none             the vendor command in progress: its code, the
//     command_step=0           exchanges it has had, the reply it prepared
//     command_reply=           (hex) and how many bytes of that were sent;
//     command_sent=0           a transfer's file (command_target, a path
//     command_target=          under storage/, a partition or a tunnel
//     command_position=0       file), its position, length, bytes moved, the
//     command_length=0         status it answers and the stage it is in
//     command_moved=0
//     command_status=0
//     command_stage=0
//
// Numbers are decimal or 0x-hexadecimal. Texts are printable ASCII. Portable
// C++: this builds into the Windows builds too.
#pragma once

#include "protocol/vendor_records.hpp"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vreader {

inline constexpr std::string_view kUsbFile = "usb.conf";

struct UsbVolume {
    char letter = 'E';  // upper case
    std::string text;   // vendor-specific INQUIRY text
    bool operator==(const UsbVolume&) const = default;
};

// A vendor command between its exchanges.
struct UsbCommandInProgress {
    std::uint8_t code = 0;
    std::uint32_t step = 0;           // exchanges it has had
    std::vector<std::uint8_t> reply;  // what it will send
    std::uint32_t sent = 0;           // of `reply`
    // A transfer moves its data piece by piece to or from a file, which it
    // names here rather than keeping the data.
    std::string target;
    std::int64_t position = 0;
    std::uint32_t length = 0;
    std::uint32_t moved = 0;
    std::int32_t status = 0;  // what the command answers
    std::uint32_t stage = 0;  // for a command with more than one transfer
    bool operator==(const UsbCommandInProgress&) const = default;
};

struct UsbContent {
    std::string vendor = "ZEPA";
    std::string product = "QLX-K1";
    std::string revision = "2081";
    std::vector<UsbVolume> volumes = {{'E', "emb,"}, {'F', "ext,sd,"}, {'G', "ext,ms,"}};
    bool locked = false;
    std::string unlock_code = "0000";
    std::string version = "01000010";
    bool connected = false;
    std::vector<std::uint8_t> clock;  // empty until the PC sets it
    std::uint32_t notice = 0;
    std::uint64_t notices = 0;
    std::uint64_t free_space = 1073741824;
    std::array<std::uint8_t, 8> media_state{};
    std::array<std::uint8_t, 32> property_head{};
    std::string device_type = "QLX-K1";
    std::string property_entry = "ebook reader";
    std::vector<std::uint8_t> fingerprint = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                                             0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F};
    std::map<std::string, std::string> info = {{"model", "QLX-K1"}};
    std::optional<std::int32_t> getinfo_ack;
    std::uint32_t update_mode = 0;
    std::int32_t file_status = 0;
    std::int32_t tunnel_status = 0;
    std::optional<UsbCommandInProgress> command;
    bool operator==(const UsbContent&) const = default;
};

using protocol::vendor::kClockSize;
using protocol::vendor::kVersionSize;
// Texts that fill their field with at least one terminating zero.
inline constexpr std::size_t kMaxUnlockCode = protocol::vendor::kUnlockCodeSize - 1;
inline constexpr std::size_t kMaxDeviceType = sizeof(protocol::vendor::PropertyBlock::device_type) - 1;
inline constexpr std::size_t kMaxPropertyEntry = sizeof(protocol::vendor::PropertyBlock::entry) - 1;

std::string format_usb(const UsbContent& content);
bool parse_usb(std::string_view text, UsbContent& out, std::string& error);

// The file at `path` read and parsed; false with the reason, the path in it.
bool load_usb(const std::string& path, UsbContent& out, std::string& error);
// Replaces the file at `path`; 0 or an errno value.
int save_usb(const std::string& path, const UsbContent& content);

// The volume with this drive letter (either case), if the reader has one.
const UsbVolume* find_volume(const UsbContent& content, char letter);

// "E:emb, F:ext,sd," and back.
std::string format_volumes(const std::vector<UsbVolume>& volumes);

// Bytes as "0A 1B 2C"; `limit` bytes at most, then "...".
std::string format_hex(const std::uint8_t* bytes, std::size_t count, std::size_t limit = SIZE_MAX);
std::string format_hex(const std::vector<std::uint8_t>& bytes);
// Pairs of hexadecimal digits, blanks between them allowed.
std::optional<std::vector<std::uint8_t>> parse_hex(std::string_view text);

}  // namespace vreader
