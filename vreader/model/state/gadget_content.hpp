// What the USB side of the reader's kernel keeps: the mass-storage gadget's
// logical units and the USB modules loaded. gadget.conf in the reader's
// directory, key=value:
//
//     luns=3               how many LUNs the gadget has (lun0 .. lun2)
//     lun0.file=/tmp/lun0  the backing file a LUN holds; empty: ejected
//     lun0.device=179:68   a block node's device number when it was attached
//     lun0.sectors=0       a regular file's whole 512-byte sectors
//     lun0.ro=0            the LUN's read-only flag
//     lun0.prevent=0       1 while the PC keeps the door locked (PREVENT
//                          MEDIUM REMOVAL)
//     modules=ehci-hcd g_android   loaded USB modules, in loading order
//
// A missing file, or missing keys, mean the defaults: 3 LUNs, all ejected,
// writable and unlocked, no module loaded. Portable C++: the USB side, which
// the Windows builds run too, keeps the doors and ejects through it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vreader {

inline constexpr std::string_view kGadgetFile = "gadget.conf";
inline constexpr unsigned kDefaultLuns = 3;
inline constexpr unsigned kMaxLuns = 16;

struct GadgetLun {
    std::string file;           // empty: no medium
    std::string device;         // "179:68" while a block node is attached
    std::uint64_t sectors = 0;  // while a regular file is attached
    bool read_only = false;
    bool prevent = false;  // the door is locked
};

struct GadgetContent {
    std::vector<GadgetLun> luns = std::vector<GadgetLun>(kDefaultLuns);
    std::vector<std::string> modules;
};

bool parse_gadget(std::string_view text, GadgetContent& out, std::string& error);
std::string format_gadget(const GadgetContent& content);

// From the reader in the directory `reader_path`; false with the reason
// when the file does not parse.
bool load_gadget(const std::string& reader_path, GadgetContent& out, std::string& error);
int save_gadget(const std::string& reader_path, const GadgetContent& content);

// One key as `vreader set` takes it: luns N, usb_modules "A B"|none,
// lunN.ro 0|1, lunN.prevent 0|1, lunN.file PATH|none (attached as it is).
// Empty, or why not.
std::string set_gadget_key(GadgetContent& content, std::string_view key, std::string_view value);

// The LUN and attribute ("file" or "ro") of a path
// /sys/devices/platform/usb_mass_storage/lunN/ATTRIBUTE; false for any other.
bool parse_lun_attribute(std::string_view path, unsigned& lun, std::string& attribute);

}  // namespace vreader
