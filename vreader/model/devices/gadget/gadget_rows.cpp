#include "vreader/model/devices/gadget/gadget_rows.hpp"

#include "vreader/model/core/attribute_file.hpp"
#include "vreader/model/core/tty_settings.hpp"
#include "vreader/model/devices/gadget/gadget_lun_file.hpp"
#include "vreader/model/devices/gadget/gadget_serial_file.hpp"
#include "vreader/model/devices/gadget/kept_nodes.hpp"
#include "vreader/model/devices/gadget/uevent_queue.hpp"
#include "vreader/model/devices/gadget/uevent_socket.hpp"
#include "vreader/model/state/files.hpp"
#include "vreader/model/state/gadget_content.hpp"
#include "vreader/model/state/reader_lock.hpp"

#include <cstdio>
#include <cstring>
#include <filesystem>

namespace vreader {
namespace {

void serial_stat(const ReaderConfig&, struct stat& st) { char_device_stat(st, kGadgetMajor, kGadgetMinor); }

constexpr DeviceNode kSerialNode{serial_stat, GadgetSerialFile::open};

const DeviceNode* find_serial_node(const ReaderConfig&, std::string_view path)
{
    return path == "/dev/ttyGS0" ? &kSerialNode : nullptr;
}

constexpr FaultTake kSerialTakes[] = {
    {"open", kErrnoEffect},   {"close", kErrnoEffect},     {"read", kReadEffects},
    {"write", kWriteEffects}, {"tcgetattr", kErrnoEffect}, {"tcsetattr", kErrnoEffect},
};
constexpr FaultScope kSerialScopes[] = {{.name = kGadgetDevice, .takes = kSerialTakes}};

// The port's line settings and the PC's end while a program holds it.
std::string print_serial(Session& session)
{
    const ReaderDir& reader = session.dir();
    struct termios gadget {};
    std::string why;
    std::printf("ttyGS0=%s\n", load_termios(reader, kGadgetDevice, gadget, why) ? describe_termios(gadget).c_str()
                                                                                : ("unreadable: " + why).c_str());
    std::string pc_end;
    read_file(reader.file(kGadgetPcFile), pc_end);
    while (!pc_end.empty() && pc_end.back() == '\n')
        pc_end.pop_back();
    std::printf("ttyGS0_pc=%s\n", pc_end.empty() ? "none" : pc_end.c_str());
    return {};
}

int create_serial(const std::string& root, const ReaderConfig&)
{
    std::error_code ec;
    std::filesystem::remove(root + termios_file(kGadgetDevice), ec);
    std::filesystem::remove(root + std::string(kGadgetPcFile), ec);
    return 0;
}

constexpr DeviceNode kLunAttributeNode{attribute_stat, GadgetLunFile::open, GadgetLunFile::exists};

const DeviceNode* find_lun_attribute(const ReaderConfig&, std::string_view path)
{
    unsigned lun = 0;
    std::string attribute;
    return parse_lun_attribute(path, lun, attribute) ? &kLunAttributeNode : nullptr;
}

// A receive is cut at half the room given; a LUN attribute reads half its
// text, and a short or lost store leaves it as it was. Programs never send
// to the uevent socket.
constexpr FaultTake kUeventTakes[] = {
    {"socket", kErrnoEffect}, {"bind", kErrnoEffect},  {"recv", kReadEffects},
    {"read", kReadEffects},   {"close", kErrnoEffect},
};
constexpr FaultTake kLunTakes[] = {
    {"open", kErrnoEffect},
    {"read", kReadEffects},
    {"write", kWriteEffects},
    {"close", kErrnoEffect},
};
constexpr FaultScope kStorageScopes[] = {
    {.name = kUeventDevice, .takes = kUeventTakes},
    {.name = kLunsDevice, .takes = kLunTakes},
};

// The LUNs, the loaded USB modules and the nodes programs made under /tmp/lun*.
std::string print_storage(Session& session)
{
    const ReaderDir& reader = session.dir();
    GadgetContent gadget;
    std::string why;
    if (!load_gadget(reader.path(), gadget, why)) {
        std::printf("gadget=unreadable: %s\n", why.c_str());
    } else {
        std::printf("gadget_luns=%zu\n", gadget.luns.size());
        for (std::size_t i = 0; i < gadget.luns.size(); ++i) {
            const GadgetLun& lun = gadget.luns[i];
            std::string medium = "ejected";
            if (!lun.file.empty())
                medium = lun.file + " " + (lun.device.empty() ? std::to_string(lun.sectors) + " sectors" : lun.device);
            std::printf("lun%zu=%s ro=%d%s\n", i, medium.c_str(), lun.read_only ? 1 : 0,
                        lun.prevent ? " prevent=1" : "");
        }
        std::string modules;
        for (const auto& module : gadget.modules)
            modules += (modules.empty() ? "" : " ") + module;
        std::printf("usb_modules=%s\n", modules.empty() ? "none" : modules.c_str());
    }
    KeptNodes nodes;
    if (load_nodes(reader, nodes, why) != 0) {
        std::printf("tmp_nodes=unreadable: %s\n", why.c_str());
        return {};
    }
    if (nodes.nodes.empty())
        std::printf("tmp_nodes=none\n");
    for (const KeptNode& node : nodes.nodes)
        std::printf("tmp_node=%s %s\n", node.path.c_str(), describe_node(node).c_str());
    return {};
}

bool owns_storage_key(std::string_view key)
{
    return key == "luns" || key == "usb_modules" || (key.starts_with("lun") && key.find('.') != std::string_view::npos);
}

// Changes one key under the reader's lock.
std::string set_storage_key(const ReaderDir& reader, std::string_view key, std::string_view value)
{
    const ReaderLock lock(reader.file(kLockFile));
    GadgetContent gadget;
    std::string why;
    if (!load_gadget(reader.path(), gadget, why))
        return why;
    if (std::string error = set_gadget_key(gadget, key, value); !error.empty())
        return error;
    if (const int e = save_gadget(reader.path(), gadget))
        return "cannot write " + reader.file(kGadgetFile) + ": " + std::strerror(e);
    return {};
}

// No nodes under /tmp/lun*, the gadget as the kernel starts it (the
// launcher writes its LUNs), no uevent waiting: a reset drops the messages
// still waiting.
int create_storage(const std::string& root, const ReaderConfig&)
{
    std::error_code ec;
    std::filesystem::remove(root + std::string(kNodesFile), ec);
    std::filesystem::remove(root + std::string(kGadgetFile), ec);
    std::filesystem::remove_all(root + std::string(kUeventDir), ec);
    return create_uevent_spool(root.substr(0, root.size() - 1));
}

}  // namespace

const DeviceRow kGadgetSerialRow = {
    .name = "gadget_serial",
    .find_node = find_serial_node,
    .fault_scopes = kSerialScopes,
    .print_state = print_serial,
    .create = create_serial,
};

const DeviceRow kGadgetStorageRow = {
    .name = "gadget_storage",
    .find_node = find_lun_attribute,
    .fault_scopes = kStorageScopes,
    .print_state = print_storage,
    .owns_key = owns_storage_key,
    .set_key = set_storage_key,
    .set_locks_itself = true,
    .create = create_storage,
};

}  // namespace vreader
