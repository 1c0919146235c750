// The 68-byte update record of the send-update request, decoded from raw
// bytes at its documented offsets (little-endian 32-bit fields).
#pragma once

#include "vreader/model/state/json_line.hpp"

#include <cstddef>
#include <cstdint>

namespace vreader {

inline constexpr std::size_t kUpdateRecordSize = 68;

struct UpdateRecord {
    std::uint32_t top = 0;                // offset 0
    std::uint32_t left = 0;               // 4
    std::uint32_t width = 0;              // 8
    std::uint32_t height = 0;             // 12
    std::uint32_t waveform_mode = 0;      // 16
    std::uint32_t update_mode = 0;        // 20
    std::uint32_t update_marker = 0;      // 24
    std::int32_t temp = 0;                // 28
    std::uint32_t flags = 0;              // 32
    std::uint32_t alt_virt_addr = 0;      // 36
    std::uint32_t alt_phys_addr = 0;      // 40
    std::uint32_t alt_width = 0;          // 44
    std::uint32_t alt_height = 0;         // 48
    std::uint32_t alt_top = 0;            // 52
    std::uint32_t alt_left = 0;           // 56
    std::uint32_t alt_region_width = 0;   // 60
    std::uint32_t alt_region_height = 0;  // 64
};

UpdateRecord decode_update_record(const std::uint8_t (&bytes)[kUpdateRecordSize]);

// 0, or EINVAL when the controller refuses the record on a screen of
// xres x yres: an unknown update mode or waveform mode, or a region that
// does not lie on the screen.
int check_update_record(const UpdateRecord& record, std::uint32_t xres, std::uint32_t yres);

void journal_update_record(JsonLine& line, const UpdateRecord& record);

}  // namespace vreader
