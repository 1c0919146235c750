// A virtual reader's state directory: its files, how to open an existing one
// and how to create one.
//
//     reader.conf    how the reader was built (key=value)
//     epdc.state     what the display controller keeps (key=value)
//     fb0.mem        framebuffer memory, smem_len bytes
//     panel.gray     what the panel shows: 8-bit gray, native orientation
//     standby.raw    the standby screen, RGB565, when one was written
//     emmc.img       the eMMC's content, a sparse file
//     touch_panel.conf  what the touch-panel controller answers and keeps
//     ttymxc1.termios   the panel UART's line settings, once a program set them
//     ttyGS0.termios    the same for the USB gadget serial port
//     ttyGS0.pc         the path of the PC's end, while the gadget port is open
//     subcpu.*          the sub-CPU's state, flash clusters and update record
//     usb.conf          the reader as a PC sees it over USB: its volumes,
//                       lock, protocol version and what its vendor commands
//                       keep and answer
//     modem.conf        what the WAN modem answers, and how
//     ttyUSB0.termios   the modem port's line settings, once a program set them
//     net.conf          the network interfaces: their addresses, and when
//                       each appears
//     input/eventN      named pipes: the input event devices' sources
//     faults         injected faults
//     faults.wake    named pipe: wakes a program's waiting poll when faults change
//     uevent/        the kernel's uevent messages waiting for a program
//     journal.jsonl  every device request, one JSON object per line
//     lock           taken (flock) around every change of the above
//     sys/, proc/    what programs see under /sys and /proc, among it the
//                    raw-data table (sys/module/rawdatatable/parameters/)
#pragma once

#include "vreader/model/core/reader_config.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace vreader {

inline constexpr std::string_view kConfigFile = "reader.conf";
inline constexpr std::string_view kStateFile = "epdc.state";
inline constexpr std::string_view kMemoryFile = "fb0.mem";
inline constexpr std::string_view kPanelFile = "panel.gray";
inline constexpr std::string_view kStandbyFile = "standby.raw";
inline constexpr std::string_view kEmmcFile = "emmc.img";
inline constexpr std::string_view kFaultsFile = "faults";
inline constexpr std::string_view kFaultsWake = "faults.wake";
inline constexpr std::string_view kJournalFile = "journal.jsonl";
inline constexpr std::string_view kLockFile = "lock";

class ReaderDir {
public:
    // Opens an existing virtual reader; on failure says why in `error`.
    static std::optional<ReaderDir> open(const std::string& path, std::string& error);

    const std::string& path() const { return path_; }
    const ReaderConfig& config() const { return config_; }
    std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }

private:
    ReaderDir(std::string path, ReaderConfig config) : path_(std::move(path)), config_(config) {}

    std::string path_;
    ReaderConfig config_;
};

// Creates a virtual reader in `path` (made with its parents if needed): white
// panel, zeroed framebuffer memory, default controller state, an eMMC with
// the default raw areas, empty journal, no faults. An existing reader is reset only when `force` is set; a
// non-empty directory that is not a reader is never touched.
bool create_reader(const std::string& path, const ReaderConfig& config, bool force, std::string& error);

}  // namespace vreader
