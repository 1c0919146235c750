#include "vreader/model/devices/subcpu/subcpu_row.hpp"

#include "vreader/model/core/attribute_file.hpp"
#include "vreader/model/devices/subcpu/subcpu_firmware.hpp"
#include "vreader/model/devices/subcpu/subcpu_node.hpp"
#include "vreader/model/devices/subcpu/subcpu_state.hpp"
#include "vreader/model/state/files.hpp"

#include <cstdio>
#include <cstring>

namespace vreader {
namespace {

void subcpu_stat(const ReaderConfig&, struct stat& st) { char_device_stat(st, kMiscMajor, kSubCpuMinor); }

constexpr DeviceNode kSubCpuNode{subcpu_stat, SubCpuNode::open};
constexpr DeviceNode kControlModeNode{attribute_stat, ControlModeFile::open};

// The device node, and the SPI controller's attribute that hands it the link.
const DeviceNode* find_subcpu_node(const ReaderConfig& config, std::string_view path)
{
    if (path == "/dev/sub_cpu")
        return &kSubCpuNode;
    if (path == control_mode_path(config))
        return &kControlModeNode;
    return nullptr;
}

// The node passes whole packets: a short or lost write is no request. A
// reply's bytes can be changed with its checksum made to fit, or its
// checksum alone; it cannot come in pieces, as the driver hands a whole
// reply to one read. Flash programming (a 16-byte write) can corrupt.
constexpr FaultEffects kReplyEffects = effect_bit(FaultKind::Silent) | effect_bit(FaultKind::Lead) |
                                       effect_bit(FaultKind::Code) | effect_bit(FaultKind::Len) |
                                       effect_bit(FaultKind::Result) | effect_bit(FaultKind::Sum);
constexpr FaultTake kSubCpuTakes[] = {
    {"open", kErrnoEffect},
    {"close", kErrnoEffect},
    {"read", kReadEffects},
    {"write", kWriteEffects},
    {"reply", kReplyEffects},
    {"reply_XX", kReplyEffects},
    {"flash", effect_bit(FaultKind::Corrupt)},
};
// The attribute that hands the sub-CPU its link: a short read gives half
// the word, a short or lost write keeps the mode.
constexpr FaultTake kControlModeTakes[] = {
    {"open", kErrnoEffect},
    {"read", kReadEffects},
    {"write", kWriteEffects},
    {"close", kErrnoEffect},
};
constexpr FaultScope kSubCpuScopes[] = {
    {.name = kSubCpuDevice, .takes = kSubCpuTakes, .answers = sub_cpu::answers},
    {.name = kControlModeDevice, .takes = kControlModeTakes},
};

// The control mode, the clusters, both firmware versions, the charger's registers.
std::string print_subcpu(Session& session)
{
    const ReaderDir& reader = session.dir();
    SubCpuState state;
    std::string why;
    if (!load_subcpu(reader, state, why)) {
        std::printf("subcpu=unreadable: %s\n", why.c_str());
        return {};
    }
    std::uint8_t record[8] = {};
    std::string bytes;
    if (read_file(reader.file(cluster_file(state.active_cluster)), bytes) == 0 && bytes.size() >= sizeof record)
        std::memcpy(record, bytes.data(), sizeof record);
    std::printf(
        "spi_cs=%u\ncontrol_mode=%s\nsubcpu_update_mode=%d\nsubcpu_active_cluster=%u\n"
        "subcpu_boot_cluster=%u\nsubcpu_version_mcu=%s\nsubcpu_version_self=%s\ncharger=",
        reader.config().spi_cs, state.control_mode.c_str(), state.update_mode ? 1 : 0, state.active_cluster,
        state.boot_cluster, format_version(version_of(record)).c_str(), format_version(state.version_self).c_str());
    // Registers by their hexadecimal number, as `set charger.XX` names them,
    // values spelt as it takes them.
    const char* separator = "";
    for (const auto& [reg, value] : state.charger) {
        std::printf("%s%02X:0x%02X", separator, reg, value);
        separator = " ";
    }
    std::printf("\n");
    return {};
}

bool owns_subcpu_key(std::string_view key) { return key.starts_with("subcpu.") || key.starts_with("charger."); }

// Sets one of the sub-CPU's or the charger's values.
std::string set_subcpu_key(const ReaderDir& reader, std::string_view key, std::string_view value)
{
    SubCpuState state;
    std::string why;
    if (!load_subcpu(reader, state, why))
        return "cannot read the sub-CPU's state: " + why;
    // The state's own text format checks the value.
    const std::string text = format_subcpu(state) + std::string(key.starts_with("subcpu.") ? key.substr(7) : key) +
                             "=" + std::string(value) + "\n";
    if (!parse_subcpu(text, state, why))
        return std::string(key) + ": " + why;
    if (state.control_mode != "update" && state.control_mode != "normal")
        return "subcpu.control_mode takes update or normal";
    if (const int e = save_subcpu(reader, state))
        return std::string("cannot write the sub-CPU's state: ") + std::strerror(e);
    return {};
}

int create_subcpu_files(const std::string& root, const ReaderConfig&) { return create_subcpu(root); }

}  // namespace

const DeviceRow kSubCpuRow = {
    .name = "subcpu",
    .find_node = find_subcpu_node,
    .fault_scopes = kSubCpuScopes,
    .print_state = print_subcpu,
    .owns_key = owns_subcpu_key,
    .set_key = set_subcpu_key,
    .create = create_subcpu_files,
};

}  // namespace vreader
