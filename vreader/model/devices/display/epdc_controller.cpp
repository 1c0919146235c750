#include "vreader/model/devices/display/epdc_controller.hpp"

#include "vreader/model/core/host_mapping.hpp"
#include "vreader/model/devices/display/display_files.hpp"
#include "vreader/model/devices/display/epdc_requests.hpp"
#include "vreader/model/devices/display/panel_render.hpp"
#include "vreader/model/devices/display/update_record.hpp"
#include "vreader/model/devices/emmc/emmc_content.hpp"
#include "vreader/model/devices/emmc/rawdata_table.hpp"
#include "vreader/model/state/files.hpp"

#include <linux/fb.h>

#include <cstring>
#include <string_view>
#include <vector>

namespace vreader {
namespace {

// The kernel copies arguments from and to the caller; a null pointer is the
// one bad address the model can tell.
template <class T>
bool copy_in(const RequestCall& call, T& value)
{
    if (call.arg == nullptr)
        return false;
    std::memcpy(&value, call.arg, sizeof value);
    return true;
}

template <class T>
bool copy_out(const RequestCall& call, const T& value)
{
    if (call.arg == nullptr)
        return false;
    std::memcpy(call.arg, &value, sizeof value);
    return true;
}

fb_var_screeninfo var_info(const ReaderConfig& config, const EpdcState& state)
{
    const ScreenGeometry g = screen_geometry(config, state.rotate);
    fb_var_screeninfo v{};
    v.xres = g.xres;
    v.yres = g.yres;
    v.xres_virtual = g.xres_virtual;
    v.yres_virtual = g.yres_virtual;
    v.xoffset = 0;
    v.yoffset = state.yoffset;
    v.bits_per_pixel = 16;
    v.grayscale = 0;
    v.red = {11, 5, 0};
    v.green = {5, 6, 0};
    v.blue = {0, 5, 0};
    v.transp = {0, 0, 0};
    v.activate = FB_ACTIVATE_NOW;
    v.rotate = state.rotate;
    return v;
}

void journal_var(JsonLine& line, const fb_var_screeninfo& v)
{
    line.add("xres", v.xres)
        .add("yres", v.yres)
        .add("xres_virtual", v.xres_virtual)
        .add("yres_virtual", v.yres_virtual)
        .add("xoffset", v.xoffset)
        .add("yoffset", v.yoffset)
        .add("bits_per_pixel", v.bits_per_pixel)
        .add("rotate", v.rotate)
        .add("activate", v.activate);
}

std::int64_t get_var_info(RequestCall& call, const EpdcState& state)
{
    const fb_var_screeninfo v = var_info(call.session.dir().config(), state);
    if (call.fault)
        return 0;
    if (!copy_out(call, v))
        return -EFAULT;
    journal_var(call.line, v);
    return 0;
}

std::int64_t put_var_info(RequestCall& call, EpdcState& state)
{
    fb_var_screeninfo v{};
    if (!copy_in(call, v))
        return -EFAULT;
    journal_var(call.line, v);
    if (call.fault)
        return 0;
    if (v.rotate > 3 || v.bits_per_pixel != 16)
        return -EINVAL;
    EpdcState result = state;
    result.rotate = v.rotate;
    result.yoffset = 0;
    if ((v.activate & FB_ACTIVATE_MASK) != FB_ACTIVATE_TEST) {
        state = result;
        call.state.changed();
    }
    // The kernel hands the resulting settings back to the caller.
    return copy_out(call, var_info(call.session.dir().config(), result)) ? 0 : -EFAULT;
}

std::int64_t get_fix_info(RequestCall& call, EpdcState& state)
{
    const ReaderConfig& config = call.session.dir().config();
    fb_fix_screeninfo f{};
    std::memcpy(f.id, "epdc", 4);
    f.smem_start = static_cast<unsigned long>(config.smem_start);
    f.smem_len = memory_size(config);
    f.type = FB_TYPE_PACKED_PIXELS;
    f.visual = FB_VISUAL_TRUECOLOR;
    f.xpanstep = 0;
    f.ypanstep = 1;
    f.line_length = screen_geometry(config, state.rotate).line_length;
    f.accel = FB_ACCEL_NONE;
    if (call.fault)
        return 0;
    if (!copy_out(call, f))
        return -EFAULT;
    call.line.add("smem_start", f.smem_start).add("smem_len", f.smem_len).add("line_length", f.line_length);
    return 0;
}

std::int64_t pan_display(RequestCall& call, EpdcState& state)
{
    fb_var_screeninfo v{};
    if (!copy_in(call, v))
        return -EFAULT;
    call.line.add("xoffset", v.xoffset).add("yoffset", v.yoffset);
    if (call.fault)
        return 0;
    const ScreenGeometry g = screen_geometry(call.session.dir().config(), state.rotate);
    if (v.xoffset != 0 || std::uint64_t{v.yoffset} + g.yres > g.yres_virtual)
        return -EINVAL;
    state.yoffset = v.yoffset;
    call.state.changed();
    // The new page is shown in full.
    return -refresh_panel(call.session.dir(), state, 0, 0, g.xres, g.yres, kWaveformGc16, 0);
}

std::int64_t send_update(RequestCall& call, const EpdcState& state)
{
    std::uint8_t bytes[kUpdateRecordSize];
    if (!copy_in(call, bytes))
        return -EFAULT;
    const UpdateRecord record = decode_update_record(bytes);
    journal_update_record(call.line, record);
    if (call.fault)
        return 0;
    const ScreenGeometry g = screen_geometry(call.session.dir().config(), state.rotate);
    if (const int e = check_update_record(record, g.xres, g.yres))
        return -e;
    if (record.width == 0 || record.height == 0)
        return 0;
    return -refresh_panel(call.session.dir(), state, record.left, record.top, record.width, record.height,
                          record.waveform_mode, record.flags);
}

template <class T, class Store>
std::int64_t set_value(RequestCall& call, std::string_view field, Store store)
{
    T value{};
    if (!copy_in(call, value))
        return -EFAULT;
    call.line.add(field, value);
    if (call.fault)
        return 0;
    const int e = store(value);
    if (e == 0)
        call.state.changed();
    return -e;
}

template <class T>
std::int64_t get_value(RequestCall& call, std::string_view field, T value)
{
    if (call.fault)
        return 0;
    if (!copy_out(call, value))
        return -EFAULT;
    call.line.add(field, value);
    return 0;
}

std::int64_t get_wf_version(RequestCall& call, EpdcState& state)
{
    if (call.fault)
        return 0;
    if (!copy_out(call, state.wf_version))
        return -EFAULT;
    call.line.add("version", format_wf_version(state.wf_version));
    return 0;
}

// The waveform write record as the caller's ABI lays it out: a 32-bit byte
// count, then the address of the image.
struct WaveformRecord {
    std::uint32_t size;
    const void* data;
};

// The driver stores the image at the start of the waveform area of the
// eMMC; the rest of the area keeps its bytes.
std::int64_t write_waveform(RequestCall& call)
{
    WaveformRecord record{};
    if (!copy_in(call, record))
        return -EFAULT;
    call.line.add("size", record.size);
    if (call.fault)
        return 0;
    if (record.size == 0 || record.data == nullptr)
        return -EINVAL;
    std::vector<RawArea> areas;
    if (read_areas(call.session.dir(), areas) != 0)
        return -ENODEV;
    const RawArea* area = find_area(areas, kWaveformArea);
    if (area == nullptr)
        return -ENODEV;
    if (record.size > area->size)
        return -EINVAL;
    const std::string_view image(static_cast<const char*>(record.data), record.size);
    return -write_emmc(call.session.dir(), area->offset, image);
}

std::int64_t write_standby_screen(RequestCall& call, EpdcState& state)
{
    std::uintptr_t address = 0;
    if (!copy_in(call, address))
        return -EFAULT;
    const ScreenGeometry g = screen_geometry(call.session.dir().config(), state.rotate);
    call.line.add("width", g.xres).add("height", g.yres);
    if (call.fault)
        return 0;
    if (address == 0)
        return -EFAULT;
    const std::string_view image(reinterpret_cast<const char*>(address), std::size_t{g.xres} * g.yres * 2);
    if (const int e = replace_file(call.session.dir().file(kStandbyFile), image))
        return -e;
    state.standby = true;
    state.standby_width = g.xres;
    state.standby_height = g.yres;
    call.state.changed();
    return 0;
}

}  // namespace

int refresh_panel(const ReaderDir& dir, const EpdcState& state, std::uint32_t left, std::uint32_t top,
                  std::uint32_t width, std::uint32_t height, std::uint32_t waveform_mode, std::uint32_t flags)
{
    const ReaderConfig& config = dir.config();
    const HostMapping memory = map_file(dir.file(kMemoryFile), false, memory_size(config));
    const HostMapping panel =
        map_file(dir.file(kPanelFile), true, std::size_t{config.panel_width} * config.panel_height);
    if (memory.data() == nullptr || panel.data() == nullptr)
        return EIO;
    const ScreenGeometry g = screen_geometry(config, state.rotate);
    const FrameMemory frame{{memory.data(), memory.size()}, g.xres_virtual, 0, state.yoffset};
    PanelImage image{{panel.data(), panel.size()}, config.panel_width, config.panel_height};
    render_region(frame, state.rotate, {left, top, width, height}, waveform_mode, flags, image);
    return 0;
}

std::int64_t epdc_request(std::uint32_t number, RequestCall& call)
{
    EpdcState* state_pointer = call.state.get();
    if (state_pointer == nullptr)
        return -EIO;
    EpdcState& state = *state_pointer;
    switch (number) {
    case epdc::kGetVarInfo:
        return get_var_info(call, state);
    case epdc::kPutVarInfo:
        return put_var_info(call, state);
    case epdc::kGetFixInfo:
        return get_fix_info(call, state);
    case epdc::kPanDisplay:
        return pan_display(call, state);
    case epdc::kSendUpdate:
        return send_update(call, state);
    case epdc::kSetTemperature:
        return set_value<std::int32_t>(call, "temperature", [&](std::int32_t t) {
            state.default_temperature = t;
            return 0;
        });
    case epdc::kSetPwrdownDelay:
        return set_value<std::int32_t>(call, "delay", [&](std::int32_t d) {
            state.pwrdown_delay = d;
            return 0;
        });
    case epdc::kSetUpdateScheme:
        return set_value<std::uint32_t>(call, "scheme", [&](std::uint32_t s) {
            if (s > 2)
                return EINVAL;
            state.update_scheme = s;
            return 0;
        });
    case epdc::kGetPmicTemperature:
        return get_value(call, "temperature", state.pmic_temperature);
    case epdc::kSetVcom:
        return set_value<std::uint32_t>(call, "vcom", [&](std::uint32_t v) {
            state.vcom = v;
            return 0;
        });
    case epdc::kGetVcom:
        return get_value(call, "vcom", state.vcom);
    case epdc::kGetWfVersion:
        return get_wf_version(call, state);
    case epdc::kWriteWaveform:
        return write_waveform(call);
    case epdc::kWriteStandbyScreen:
        return write_standby_screen(call, state);
    case epdc::kSetPanelInitFlag:
        return set_value<std::uint8_t>(call, "flag", [&](std::uint8_t f) {
            if (f > 1)
                return EINVAL;
            state.panel_init_flag = f;
            return 0;
        });
    default:
        return -ENOTTY;
    }
}

}  // namespace vreader
