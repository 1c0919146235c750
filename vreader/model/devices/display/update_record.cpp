#include "vreader/model/devices/display/update_record.hpp"

#include <cerrno>
#include <cstring>

namespace vreader {
namespace {

std::uint32_t le32(const std::uint8_t* bytes)
{
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

}  // namespace

UpdateRecord decode_update_record(const std::uint8_t (&bytes)[kUpdateRecordSize])
{
    UpdateRecord r;
    r.top = le32(bytes + 0);
    r.left = le32(bytes + 4);
    r.width = le32(bytes + 8);
    r.height = le32(bytes + 12);
    r.waveform_mode = le32(bytes + 16);
    r.update_mode = le32(bytes + 20);
    r.update_marker = le32(bytes + 24);
    const std::uint32_t temp = le32(bytes + 28);
    std::memcpy(&r.temp, &temp, sizeof r.temp);
    r.flags = le32(bytes + 32);
    r.alt_virt_addr = le32(bytes + 36);
    r.alt_phys_addr = le32(bytes + 40);
    r.alt_width = le32(bytes + 44);
    r.alt_height = le32(bytes + 48);
    r.alt_top = le32(bytes + 52);
    r.alt_left = le32(bytes + 56);
    r.alt_region_width = le32(bytes + 60);
    r.alt_region_height = le32(bytes + 64);
    return r;
}

int check_update_record(const UpdateRecord& r, std::uint32_t xres, std::uint32_t yres)
{
    if (r.update_mode > 1)
        return EINVAL;
    if (r.waveform_mode > 255 && r.waveform_mode != 257)
        return EINVAL;
    if (std::uint64_t{r.left} + r.width > xres || std::uint64_t{r.top} + r.height > yres)
        return EINVAL;
    return 0;
}

void journal_update_record(JsonLine& line, const UpdateRecord& r)
{
    line.begin_object("update_region")
        .add("top", r.top)
        .add("left", r.left)
        .add("width", r.width)
        .add("height", r.height)
        .end_object();
    line.add("waveform_mode", r.waveform_mode)
        .add("update_mode", r.update_mode)
        .add("update_marker", r.update_marker)
        .add("temp", r.temp)
        .add("flags", r.flags);
    line.begin_object("alt_buffer_data")
        .add("virt_addr", r.alt_virt_addr)
        .add("phys_addr", r.alt_phys_addr)
        .add("width", r.alt_width)
        .add("height", r.alt_height)
        .begin_object("alt_update_region")
        .add("top", r.alt_top)
        .add("left", r.alt_left)
        .add("width", r.alt_region_width)
        .add("height", r.alt_region_height)
        .end_object()
        .end_object();
}

}  // namespace vreader
