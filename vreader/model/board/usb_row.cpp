#include "vreader/model/board/usb_row.hpp"

#include "vreader/model/state/files.hpp"
#include "vreader/model/state/key_value.hpp"
#include "vreader/model/usb/pc_device_tree.hpp"
#include "vreader/model/usb/usb_commands.hpp"
#include "vreader/model/usb/usb_content.hpp"
#include "vreader/model/usb/usb_faults.hpp"
#include "vreader/model/usb/usb_files.hpp"
#include "vreader/model/usb/usb_partitions.hpp"
#include "vreader/model/usb/usb_tunnel.hpp"

#include <cstdio>
#include <cstring>
#include <vector>

namespace vreader {
namespace {

// The PC's device tree around the reader, on one line: each key as
// `set tree.KEY` takes it.
void print_device_tree(const ReaderDir& reader)
{
    DeviceTree tree;
    std::string why;
    if (!load_device_tree(reader.path(), tree, why)) {
        std::printf("usb_tree=unreadable: %s\n", why.c_str());
        return;
    }
    std::vector<KeyValue> entries;
    parse_key_values(format_device_tree(tree), entries, why);
    std::string line;
    for (const auto& [key, value] : entries)
        line += (line.empty() ? "" : " ") + key + "=" + value;
    std::printf("usb_tree=%s\n", line.c_str());
}

// The keys of usb.conf that the summary lines of `vreader state` show.
bool summarised(std::string_view key)
{
    for (const std::string_view shown :
         {"vendor", "product", "revision", "volumes", "locked", "connected", "version", "clock", "notice", "notices",
          "getinfo_ack", "update_mode", "command", "command_step"})
        if (key == shown)
            return true;
    return false;
}

// Replaces one key of device_tree.conf, refusing what cannot be read back.
std::string set_device_tree_key(const ReaderDir& reader, std::string_view key, std::string_view value)
{
    DeviceTree tree;
    std::string error;
    if (!load_device_tree(reader.path(), tree, error))
        return error;
    const std::string text = format_device_tree(tree) + std::string(key) + "=" + std::string(value) + "\n";
    if (!parse_device_tree(text, tree, error))
        return "tree." + std::string(key) + ": " + error;
    if (const int e = save_device_tree(reader.path(), tree))
        return "cannot write " + reader.file(kDeviceTreeFile) + ": " + std::strerror(e);
    return {};
}

// The USB side in brief: what a PC finds and what it left there.
std::string print_usb(Session& session)
{
    const ReaderDir& reader = session.dir();
    UsbContent usb;
    std::string why;
    if (!load_usb(reader.file(kUsbFile), usb, why)) {
        std::printf("usb=unreadable: %s\n", why.c_str());
        return {};
    }
    // The command by its code, as `set usb.command` takes it.
    std::string command = "none";
    if (usb.command) {
        const std::string_view name = usb::command_name(usb.command->code);
        command = std::to_string(usb.command->code) + (name.empty() ? "" : " (" + std::string(name) + ")") + " after " +
                  std::to_string(usb.command->step) + " exchanges";
    }
    const std::string clock = usb.clock.empty() ? "none" : format_hex(usb.clock);
    const std::string ack = usb.getinfo_ack ? std::to_string(*usb.getinfo_ack) : "none";
    std::printf(
        "usb_volumes=%s\nusb_identity=%s %s %s\nusb_locked=%d\nusb_connected=%d\nusb_version=%s\n"
        "usb_clock=%s\nusb_notice=%u\nusb_notices=%llu\nusb_getinfo_ack=%s\nusb_command=%s\n",
        format_volumes(usb.volumes).c_str(), usb.vendor.c_str(), usb.product.c_str(), usb.revision.c_str(),
        usb.locked ? 1 : 0, usb.connected ? 1 : 0, usb.version.c_str(), clock.c_str(), usb.notice,
        static_cast<unsigned long long>(usb.notices), ack.c_str(), command.c_str());
    std::printf("usb_update_mode=%u\n", usb.update_mode);
    std::vector<KeyValue> entries;
    parse_key_values(format_usb(usb), entries, why);
    for (const auto& [key, value] : entries)
        if (!summarised(key))
            std::printf("usb_%s=%s\n", key.c_str(), value.c_str());
    const std::vector<usb::Partition> partitions = usb::Partitions(reader.path()).list();
    if (partitions.empty())
        std::printf("usb_partitions=none\n");
    for (const usb::Partition& p : partitions)
        std::printf("usb_partition.%s=first=%u second=%u third=%u image=%s tag=%s extra=%s announced=%u bytes=%llu\n",
                    p.name.c_str(), p.first, p.second, p.third, p.image ? "yes" : "no", p.tag.c_str(),
                    p.extra.empty() ? "no" : "yes", p.announced, static_cast<unsigned long long>(p.bytes));
    const usb::Tunnel tunnel(reader.path());
    std::printf("usb_tunnel_queued=%zu\nusb_tunnel_responses=%zu\n", tunnel.queue().size(), tunnel.responses().size());
    print_device_tree(reader);
    return {};
}

// Replaces one key of usb.conf, refusing what the reader cannot read.
std::string set_usb_key(const ReaderDir& reader, std::string_view key, std::string_view value)
{
    std::string text;
    if (const int e = read_file(reader.file(kUsbFile), text))
        return "cannot read " + reader.file(kUsbFile) + ": " + std::strerror(e);
    text += "\n" + std::string(key) + "=" + std::string(value) + "\n";
    UsbContent content;
    std::string error;
    if (!parse_usb(text, content, error))
        return "usb." + std::string(key) + ": " + error;
    if (const int e = save_usb(reader.file(kUsbFile), content))
        return "cannot write " + reader.file(kUsbFile) + ": " + std::strerror(e);
    return {};
}

bool owns_usb_key(std::string_view key) { return key.starts_with("usb.") || key.starts_with("tree."); }

// usb.KEY is usb.conf's, tree.KEY the PC's device tree's.
std::string set_usb_side_key(const ReaderDir& reader, std::string_view key, std::string_view value)
{
    return key.starts_with("usb.") ? set_usb_key(reader, key.substr(4), value)
                                   : set_device_tree_key(reader, key.substr(5), value);
}

bool is_vendor_command(std::uint8_t code) { return !usb::command_name(code).empty(); }

// An exchange the reader never sees fails, is refused or comes back empty;
// one it sees moves half its data. A vendor command's reply can only be
// missing: the PC's call then times out.
constexpr FaultEffects kExchangeEffects = kReadEffects | effect_bit(FaultKind::Check) | effect_bit(FaultKind::Empty);
constexpr FaultTake kUsbTakes[] = {
    {"scsi", kExchangeEffects},
    {"scsi_XX", kExchangeEffects},
    {"reply", effect_bit(FaultKind::Silent)},
    {"reply_XX", effect_bit(FaultKind::Silent)},
};
constexpr FaultScope kUsbScopes[] = {{.name = usb::kUsbDevice, .takes = kUsbTakes, .answers = is_vendor_command}};

// usb.conf's defaults, the sample document, no update partition, one HTTP
// request queued.
int create_usb(const std::string& root, const ReaderConfig&)
{
    const std::string path = root.substr(0, root.size() - 1);
    int e = replace_file(root + std::string(kUsbFile), format_usb(UsbContent{}));
    if (e == 0)
        e = usb::create_storage(path);
    if (e == 0)
        e = usb::create_partitions(path);
    if (e == 0)
        e = usb::create_tunnel(path);
    return e;
}

}  // namespace

const DeviceRow kUsbRow = {
    .name = "usb",
    .fault_scopes = kUsbScopes,
    .print_state = print_usb,
    .owns_key = owns_usb_key,
    .set_key = set_usb_side_key,
    .create = create_usb,
};

}  // namespace vreader
