// What the virtual sub-CPU and the charger behind it keep, in the reader's
// directory:
//     subcpu.state      key=value: the SPI control mode, update mode, which
//                       flash cluster runs and which boots next, the
//                       self-update firmware's version, the charger's registers
//     subcpu.cluster0   the two flash clusters, 0x1000 to 0x73FF each
//     subcpu.cluster1
//     subcpu.received   what the running update sent, per address (0xFF where
//                       nothing), against which a block is verified
#pragma once

#include "vreader/model/core/reader_dir.hpp"

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace vreader {

inline constexpr std::string_view kSubCpuStateFile = "subcpu.state";
inline constexpr std::string_view kSubCpuReceivedFile = "subcpu.received";
inline constexpr std::uint32_t kFlashStart = 0x1000;
inline constexpr std::uint32_t kFlashEnd = 0x7400;  // one past the last address
inline constexpr std::uint32_t kFlashSize = kFlashEnd - kFlashStart;
inline constexpr std::uint32_t kBlockSize = 0x400;
inline constexpr unsigned kFirstBlock = kFlashStart / kBlockSize;   // 4
inline constexpr unsigned kLastBlock = kFlashEnd / kBlockSize - 1;  // 28

// The firmware version record: year, month, day, build; stored big-endian
// in 8 bytes at the start of a firmware image.
struct VersionRecord {
    std::uint16_t year = 0;
    std::uint8_t month = 0;
    std::uint8_t day = 0;
    std::uint32_t number = 0;
    bool operator==(const VersionRecord&) const = default;
};

std::array<std::uint8_t, 8> version_bytes(const VersionRecord& version);
VersionRecord version_of(const std::uint8_t* bytes);
// "20190521_1234"
std::string format_version(const VersionRecord& version);
bool parse_version(std::string_view text, VersionRecord& out);

// The charger's registers: config 00-0B, 30, 31; status 32-39, 3D-3F.
inline constexpr std::uint8_t kConfigRegisters[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06,
                                                    0x07, 0x08, 0x09, 0x0A, 0x0B, 0x30, 0x31};
inline constexpr std::uint8_t kStatusRegisters[] = {0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3D, 0x3E, 0x3F};
bool is_config_register(std::uint8_t reg);

struct SubCpuState {
    std::string control_mode = "normal";  // the SPI controller's attribute
    bool update_mode = false;
    unsigned active_cluster = 0;  // the firmware that runs
    unsigned boot_cluster = 0;    // the firmware the next reboot runs
    VersionRecord version_self = {2018, 11, 2, 17};
    std::map<std::uint8_t, std::uint8_t> charger;

    unsigned update_cluster() const { return 1 - active_cluster; }
};

SubCpuState default_subcpu();
std::string format_subcpu(const SubCpuState& state);
bool parse_subcpu(std::string_view text, SubCpuState& out, std::string& error);

std::string cluster_file(unsigned cluster);

// The state, the two clusters (the running one with a firmware of version
// 2019-05-21 #1234, the other with the one before it) and an empty record
// of what an update sent.
int create_subcpu(const std::string& root);

}  // namespace vreader
