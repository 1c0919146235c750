// The kernel's raw-data-table module as the virtual reader plays it: where
// the raw areas lie on the eMMC, published in sysfs as rawdata_param, one
// area a line ("Waveform Data:0x00100000:0x00200000"), and the eMMC's unit
// number as mmc_dev_no.
//
// The published text is also what the virtual kernel goes by: a person or a
// test who edits it moves an area for the display driver, the launcher's
// verbs and the boot state as well. Lines that do not read as
// NAME:0xOFFSET:0xSIZE name no area. Like any sysfs attribute the table
// shows at most one page, its last byte the text's NUL: what a file holds
// beyond that is not published, for the virtual kernel as for the programs.
#pragma once

#include "vreader/model/core/reader_dir.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vreader {

inline constexpr std::string_view kRawdataParamFile = "sys/module/rawdatatable/parameters/rawdata_param";
inline constexpr std::string_view kMmcDevNoFile = "sys/module/rawdatatable/parameters/mmc_dev_no";

// The kernel's names of the areas it publishes.
inline constexpr std::string_view kWaveformArea = "Waveform Data";
inline constexpr std::string_view kIdArea = "Id Data";
inline constexpr std::string_view kBootEnvArea = "Boot Env";
inline constexpr std::string_view kNormalBootEnvArea = "Normal Boot Env";
inline constexpr std::string_view kRecoveryBootEnvArea = "Recovery Boot Env";

struct RawArea {
    std::string name;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

// The five areas at page-aligned places near the start of the eMMC.
std::vector<RawArea> default_areas();

std::string format_rawdata_table(const std::vector<RawArea>& areas);

// The areas the text names; the lines that name none go to `unread`.
std::vector<RawArea> parse_rawdata_table(std::string_view text, std::vector<std::string>* unread = nullptr);

const RawArea* find_area(const std::vector<RawArea>& areas, std::string_view name);

// An area named by a person: its exact name, or a prefix of exactly one
// name, ignoring case ("waveform", "normal"). nullptr with the reason.
const RawArea* match_area(const std::vector<RawArea>& areas, std::string_view words, std::string& error);

// The most of the table's text that the kernel shows: a page (4096 bytes)
// less the NUL that ends the text.
inline constexpr std::size_t kShownTableBytes = 4095;

// The reader's published table: the areas of the file's first
// kShownTableBytes. `file_size`, when given, is set to the whole file's.
// 0 or an errno value.
int read_areas(const ReaderDir& dir, std::vector<RawArea>& out, std::vector<std::string>* unread = nullptr,
               std::size_t* file_size = nullptr);

}  // namespace vreader
