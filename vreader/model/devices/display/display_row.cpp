#include "vreader/model/devices/display/display_row.hpp"

#include "vreader/model/core/device_nodes.hpp"
#include "vreader/model/core/sparse_file.hpp"
#include "vreader/model/devices/display/display_files.hpp"
#include "vreader/model/devices/display/epdc_kept_state.hpp"
#include "vreader/model/devices/display/epdc_requests.hpp"
#include "vreader/model/devices/display/framebuffer_file.hpp"
#include "vreader/model/state/files.hpp"
#include "vreader/model/state/key_value.hpp"

#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

namespace vreader {
namespace {

void framebuffer_stat(const ReaderConfig&, struct stat& st) { char_device_stat(st, kFramebufferMajor, 0); }

constexpr DeviceNode kFramebufferNode{framebuffer_stat, FramebufferFile::open};

const DeviceNode* find_display_node(const ReaderConfig& config, std::string_view path)
{
    if (path == "/dev/fb0")
        return &kFramebufferNode;
    if (config.graphics_node && path == "/dev/graphics")
        return &kDirectoryNode;
    if (config.graphics_node && path == "/dev/graphics/fb0")
        return &kFramebufferNode;
    return nullptr;
}

// The framebuffer's memory moves data and maps; its controller requests
// take an errno.
constexpr FaultTake kFramebufferTakes[] = {
    {"open", kErrnoEffect},   {"close", kErrnoEffect}, {"read", kReadEffects},
    {"write", kWriteEffects}, {"lseek", kErrnoEffect}, {"mmap", kErrnoEffect},
};
constexpr FaultScope kDisplayScopes[] = {
    {.name = kFramebufferDevice, .takes = kFramebufferTakes, .driver_requests = epdc::kFaultRequests},
};

// The geometry, then what the controller keeps.
std::string print_display(Session& session)
{
    EpdcKeptState kept(session);
    const EpdcState* state = kept.get();
    const ReaderDir& reader = session.dir();
    if (session.error() != 0 || state == nullptr)
        return "cannot read " + reader.file(kStateFile);
    const ReaderConfig& config = reader.config();
    const ScreenGeometry g = screen_geometry(config, state->rotate);
    char start[32];
    std::snprintf(start, sizeof start, "0x%llX", static_cast<unsigned long long>(config.smem_start));
    std::printf(
        "panel_width=%u\npanel_height=%u\nstride_pad=%u\ngraphics_node=%s\n"
        "xres=%u\nyres=%u\nxres_virtual=%u\nyres_virtual=%u\nline_length=%u\n"
        "smem_start=%s\nsmem_len=%u\n",
        config.panel_width, config.panel_height, config.stride_pad, config.graphics_node ? "yes" : "no", g.xres, g.yres,
        g.xres_virtual, g.yres_virtual, g.line_length, start, memory_size(config));
    const std::string kept_text = format_state(*state);
    std::fwrite(kept_text.data(), 1, kept_text.size(), stdout);
    return {};
}

bool owns_display_key(std::string_view key)
{
    return key == "pmic_temperature" || key == "vcom" || key == "wf_version";
}

std::string check_display_value(std::string_view key, std::string_view value)
{
    if (key == "pmic_temperature" && !parse_signed(value, INT32_MIN, INT32_MAX))
        return "pmic_temperature takes a whole number of degrees: " + std::string(value);
    if (key == "vcom" && !parse_unsigned(value, UINT32_MAX))
        return "vcom takes microvolts below zero, 0 to 4294967295: " + std::string(value);
    if (key == "wf_version" && !parse_wf_version(value))
        return "wf_version takes 20 hexadecimal digits: " + std::string(value);
    return {};
}

// Changes what the controller keeps, through a session of its own (which
// takes the reader's lock).
std::string set_display_key(const ReaderDir& reader, std::string_view key, std::string_view value)
{
    Journal unused(reader.file(kJournalFile));
    Session session(reader, unused);
    EpdcKeptState kept(session);
    EpdcState* state = kept.get();
    if (session.error() != 0 || state == nullptr)
        return "cannot read " + reader.file(kStateFile);
    if (key == "pmic_temperature")
        state->pmic_temperature = static_cast<std::int32_t>(*parse_signed(value, INT32_MIN, INT32_MAX));
    else if (key == "vcom")
        state->vcom = static_cast<std::uint32_t>(*parse_unsigned(value, UINT32_MAX));
    else
        state->wf_version = *parse_wf_version(value);
    kept.changed();
    if (const int e = session.commit())
        return "cannot write " + reader.file(kStateFile) + ": " + std::strerror(e);
    return {};
}

// A white panel, zeroed memory, the controller's defaults, no standby screen.
int create_display(const std::string& root, const ReaderConfig& config)
{
    std::error_code ec;
    std::filesystem::remove(root + std::string(kStandbyFile), ec);
    const std::string panel(std::size_t{config.panel_width} * config.panel_height, '\xFF');
    int e = replace_file(root + std::string(kPanelFile), panel);
    if (e == 0)
        e = create_zero_file(root + std::string(kMemoryFile), memory_size(config));
    if (e == 0)
        e = replace_file(root + std::string(kStateFile), format_state(EpdcState{}));
    return e;
}

}  // namespace

const DeviceRow kDisplayRow = {
    .name = "display",
    .find_node = find_display_node,
    .fault_requests = epdc::kFaultRequests,
    .fault_scopes = kDisplayScopes,
    .print_state = print_display,
    .owns_key = owns_display_key,
    .check_value = check_display_value,
    .set_key = set_display_key,
    .set_locks_itself = true,
    .set_refusal_is_usage = false,
    .create = create_display,
};

}  // namespace vreader
