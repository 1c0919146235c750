// The eMMC's content: emmc.img in the reader's directory, a sparse file as
// large as the eMMC, so a realistic size costs no disk. Programs reach it
// through the block device nodes; the launcher and the models read and
// write it here.
#pragma once

#include "vreader/model/core/reader_dir.hpp"

#include <cstdint>
#include <string>
#include <string_view>

namespace vreader {

inline constexpr std::string_view kEmmcFile = "emmc.img";

// Byte ranges of the eMMC. 0 or an errno value (EINVAL past the end).
int read_emmc(const ReaderDir& dir, std::uint64_t offset, std::uint64_t length, std::string& out);
int write_emmc(const ReaderDir& dir, std::uint64_t offset, std::string_view data);

// The image, the raw-data table with its default areas, the device number,
// a saved boot environment for each mode, the normal one active, and the
// identity area as the factory leaves it.
int create_emmc(const std::string& root, const ReaderConfig& config);

// The environment a mode saves: its variables, NUL-separated.
std::string saved_boot_env(std::string_view mode);

// Copies the saved environment of `mode` ("normal" or "recovery") over the
// active one. Empty, or what went wrong.
std::string activate_boot_env(const ReaderDir& dir, std::string_view mode);

// Which saved environment the active area holds, over the length the boot
// tool copies (the smallest of the three sizes): "normal", "recovery",
// "neither", or "unknown" when the table does not locate all three.
std::string active_boot_env(const ReaderDir& dir);

}  // namespace vreader
