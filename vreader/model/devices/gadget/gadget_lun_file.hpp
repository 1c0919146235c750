// The mass-storage gadget's LUN attributes, as the kernel serves them:
// /sys/devices/platform/usb_mass_storage/lunN/file and .../lunN/ro, for the
// LUNs gadget.conf says the gadget has (others do not exist: ENOENT).
//
// Every write is one store that replaces the value. "file" drops one
// newline at the end of the bytes and takes the text up to the first NUL:
// empty ejects the medium; a path attaches what is there, as the kernel
// opens it: a block node the reader knows (one a program made under
// /tmp/lun*, or the eMMC's), or a regular file (the host's, or under the
// reader's /sys and /proc) of at least one 512-byte sector, of which it
// serves the whole sectors. A missing name fails with ENOENT, a file
// smaller than a sector with the kernel's ETOOSMALL (525), a folder with
// EISDIR (EINVAL on a read-only LUN), a socket (which cannot be opened)
// with ENXIO, anything else with EINVAL. While the PC keeps the door locked
// (PREVENT MEDIUM REMOVAL) a LUN with a medium refuses every "file" store
// with EBUSY. "ro" takes a boolean as the kernel reads one, by its first
// characters (1, y, t or "on"; 0, n, f or "off"; else EINVAL) and cannot
// change while a medium is attached (EBUSY). A read gives the value and a
// newline: the backing path (empty when ejected), or 0 or 1. As on any
// attribute, a write of nothing stores nothing, a write moves the position
// on, and seeks go from the start, the position or the page's end. Stores
// are journaled as "store" and faulted as "write" (also "read", "open",
// "close") of the device "luns".
#pragma once

#include "vreader/model/core/attribute_file.hpp"
#include "vreader/model/core/reader_paths.hpp"
#include "vreader/model/state/gadget_content.hpp"

#include <memory>
#include <string>
#include <string_view>

namespace vreader {

inline constexpr std::string_view kLunsDevice = "luns";

class GadgetLunFile final : public AttributeFile {
public:
    static std::int64_t open(ReaderContext& context, const std::string& path, int flags, int fd,
                             std::unique_ptr<DeviceFile>& out);
    // Whether the attribute at `path` exists on this reader now.
    static bool exists(const ReaderDir& dir, std::string_view path);

    std::int64_t pread(void* buf, std::size_t count, std::int64_t offset) override;

private:
    GadgetLunFile(ReaderContext& context, std::string path, unsigned lun, std::string attribute, int access)
        : AttributeFile(context, std::move(path), kLunsDevice, access), lun_(lun), attribute_(std::move(attribute))
    {
    }
    // The attribute's text as a read shows it, or -errno.
    std::int64_t shown(std::string& text);
    std::int64_t store(const void* buf, std::size_t count) override;
    // The store of `value`; 0 or -errno.
    std::int64_t store_value(const std::string& value, JsonLine& line);
    // What the kernel makes of the backing file at `where` (its links
    // resolved) for `lun`: a block node's device number or a regular
    // file's sectors put in `lun`; 0 or -errno.
    std::int64_t backing(const ReaderPath& where, GadgetLun& lun);

    unsigned lun_;
    std::string attribute_;
};

}  // namespace vreader
