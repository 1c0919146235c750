#include "vreader/model/devices/gadget/gadget_lun_file.hpp"

#include "vreader/model/core/device_nodes.hpp"
#include "vreader/model/core/node_open.hpp"
#include "vreader/model/core/reader_paths.hpp"
#include "vreader/model/devices/emmc/mmc_block_devices.hpp"
#include "vreader/model/devices/gadget/kept_nodes.hpp"
#include "vreader/model/devices/gadget/uevent_queue.hpp"
#include "vreader/model/state/gadget_content.hpp"

#include <fcntl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <optional>

namespace vreader {
namespace {

// The kernel's own ETOOSMALL, for a backing file smaller than one sector:
// a store hands it to the writer as it is.
constexpr std::int64_t kTooSmall = 525;
constexpr std::uint64_t kSectorSize = 512;

bool lun_exists(const ReaderDir& dir, unsigned lun)
{
    GadgetContent content;
    std::string why;
    return load_gadget(dir.path(), content, why) && lun < content.luns.size();
}

}  // namespace

bool GadgetLunFile::exists(const ReaderDir& dir, std::string_view path)
{
    unsigned lun = 0;
    std::string attribute;
    return parse_lun_attribute(path, lun, attribute) && lun_exists(dir, lun);
}

std::int64_t GadgetLunFile::open(ReaderContext& context, const std::string& path, int flags, int fd,
                                 std::unique_ptr<DeviceFile>& out)
{
    unsigned lun = 0;
    std::string attribute;
    parse_lun_attribute(path, lun, attribute);
    int access = 0;
    const int missing = lun_exists(context.dir, lun) ? 0 : ENOENT;
    const std::int64_t result = journal_open(context, path, kLunsDevice, flags, fd, access, missing);
    if (result >= 0)
        out.reset(new GadgetLunFile(context, path, lun, attribute, access));
    return result;
}

namespace {

// A boolean as the kernel reads one written to an attribute, by its first
// characters: 1, y, t (yes, true) or "on" is true, 0, n, f or "off" false,
// in either case; anything else is no boolean.
std::optional<bool> kernel_bool(std::string_view text)
{
    const char first = text.empty() ? '\0' : text[0];
    const char second = text.size() > 1 ? text[1] : '\0';
    switch (first) {
    case '1':
    case 'y':
    case 'Y':
    case 't':
    case 'T':
        return true;
    case '0':
    case 'n':
    case 'N':
    case 'f':
    case 'F':
        return false;
    case 'o':
    case 'O':
        if (second == 'n' || second == 'N')
            return true;
        if (second == 'f' || second == 'F')
            return false;
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

}  // namespace

std::int64_t GadgetLunFile::shown(std::string& text)
{
    GadgetContent content;
    std::string why;
    if (!load_gadget(context_.dir.path(), content, why) || lun_ >= content.luns.size())
        return -ENODEV;  // the LUN went away while open
    const GadgetLun& lun = content.luns[lun_];
    text = (attribute_ == "file" ? lun.file : std::string(lun.read_only ? "1" : "0")) + "\n";
    return 0;
}

std::int64_t GadgetLunFile::pread(void* buf, std::size_t count, std::int64_t offset)
{
    DeviceRequest read = node_request("read");
    read.line().add("path", path_).add("count", count);
    if (const auto ended = read.start(FaultEnds::Errors))
        return *ended;
    if (access_ == O_WRONLY)
        return read.finish(-EBADF);
    std::string text;
    if (const int e = read.lock_reader())
        return read.finish(-e);
    if (const std::int64_t e = shown(text); e < 0)
        return read.finish(e);
    const auto at = static_cast<std::size_t>(std::max<std::int64_t>(offset, 0));
    std::size_t n = at < text.size() ? std::min(count, text.size() - at) : 0;
    const bool short_read = read.fault().fired;
    if (short_read)
        n /= 2;
    std::memcpy(buf, text.data() + at, n);
    return read.finish(static_cast<std::int64_t>(n), short_read);
}

std::int64_t GadgetLunFile::backing(const ReaderPath& where, GadgetLun& lun)
{
    const std::string& path = where.path;
    struct stat st {};
    if (where.area == PathArea::Kept) {
        KeptNodes nodes;
        std::string why;
        if (load_nodes(context_.dir, nodes, why) != 0)
            return -EIO;
        const KeptNode* node = find_kept_node(nodes, path);
        if (node == nullptr)
            return -ENOENT;
        // A socket cannot be opened: the kernel's open fails so before the
        // store looks at the type.
        if (S_ISSOCK(node->mode))
            return -ENXIO;
        st.st_mode = node->mode;
        st.st_rdev = makedev(node->major, node->minor);
    } else if (where.area == PathArea::Dev) {
        const DeviceNode* node = find_node(context_.dir.config(), path);
        if (node == nullptr)
            return -ENOENT;
        node_stat(context_.dir.config(), *node, st);
    } else {
        // Files: the reader's /sys and /proc are its own, everything else
        // is the host's, as programs see them.
        const bool reader_tree = where.area == PathArea::Sys || where.area == PathArea::Proc;
        const std::string file = reader_tree ? context_.dir.path() + path : path;
        if (::stat(file.c_str(), &st) != 0)
            return -errno;
    }
    if (S_ISBLK(st.st_mode)) {
        // Opening a node whose device is not there fails, as the store does.
        if (!block_device_present(context_.dir, ::major(st.st_rdev), ::minor(st.st_rdev)))
            return -ENXIO;
        lun.device = std::to_string(::major(st.st_rdev)) + ":" + std::to_string(::minor(st.st_rdev));
        lun.sectors = 0;
        return 0;
    }
    // A writable LUN opens its file for writing, which a folder refuses.
    if (S_ISDIR(st.st_mode) && !lun.read_only)
        return -EISDIR;
    if (!S_ISREG(st.st_mode))
        return -EINVAL;
    const std::uint64_t sectors = static_cast<std::uint64_t>(st.st_size) / kSectorSize;
    if (sectors == 0)
        return -kTooSmall;
    lun.device.clear();
    lun.sectors = sectors;
    return 0;
}

std::int64_t GadgetLunFile::store_value(const std::string& value, JsonLine& line)
{
    GadgetContent content;
    std::string why;
    if (!load_gadget(context_.dir.path(), content, why))
        return -EIO;
    if (lun_ >= content.luns.size())
        return -ENODEV;
    GadgetLun& lun = content.luns[lun_];
    if (attribute_ == "ro") {
        const std::optional<bool> read_only = kernel_bool(value);
        if (!read_only)
            return -EINVAL;
        if (!lun.file.empty())
            return -EBUSY;
        lun.read_only = *read_only;
    } else if (lun.prevent && !lun.file.empty()) {
        line.add("error", "the door is locked");
        return -EBUSY;
    } else if (value.empty()) {
        lun.file.clear();
        lun.device.clear();
        lun.sectors = 0;
        line.add("effect", "eject");
    } else {
        // The kernel opens the path as the writer would, links followed,
        // and the attribute names what it opened.
        char cwd[4096];
        if (value.front() != '/' && ::getcwd(cwd, sizeof cwd) == nullptr)
            return -errno;
        const ReaderPath where = locate_path(value, value.front() == '/' ? "/" : cwd, true, is_kept_node_path,
                                             [&]() -> const ReaderDir& { return context_.dir; });
        if (where.error != 0)
            return -where.error;
        GadgetLun attached = lun;
        if (const std::int64_t e = backing(where, attached); e < 0)
            return e;
        attached.file = where.path;
        lun = attached;
        line.add("effect", "attach");
        if (lun.device.empty())
            line.add("sectors", lun.sectors);
        else
            line.add("device", lun.device);
    }
    if (const int e = save_gadget(context_.dir.path(), content))
        return -e;
    return 0;
}

std::int64_t GadgetLunFile::store(const void* buf, std::size_t count)
{
    const std::string_view bytes(static_cast<const char*>(buf), count);
    // The kernel takes a store's text up to a NUL. A "file" store loses one
    // newline at the end of the bytes written first; other newlines stay in
    // the name.
    std::string value;
    if (attribute_ == "file") {
        const std::string_view text = bytes.ends_with('\n') ? bytes.substr(0, count - 1) : bytes;
        value = text.substr(0, text.find('\0'));
    } else {
        value = bytes.substr(0, bytes.find('\0'));
        if (value.ends_with('\n'))
            value.pop_back();
    }
    DeviceRequest stored = node_request("store", "write");
    stored.line().add("path", path_).add("count", count).add("bytes", escape_uevent(bytes)).add("value", value);
    if (const auto ended = stored.start(FaultEnds::Errors))
        return *ended;
    if (access_ == O_RDONLY)
        return stored.finish(-EBADF);
    // Half a store (short), or one reported and dropped (lost), leaves the
    // attribute as it was.
    if (stored.fault().fired)
        return stored.finish(static_cast<std::int64_t>(stored.faulted(FaultKind::Short) ? count / 2 : count), true);
    if (count == 0)
        return stored.finish(0);
    if (const int e = stored.lock_reader())
        return stored.finish(-e);
    if (const std::int64_t e = store_value(value, stored.line()); e < 0)
        return stored.finish(e);
    return stored.finish(static_cast<std::int64_t>(count));
}

}  // namespace vreader
