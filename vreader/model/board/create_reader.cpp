#include "vreader/model/board/create_reader.hpp"

#include "vreader/model/core/reader_dir.hpp"
#include "vreader/model/core/sparse_file.hpp"
#include "vreader/model/core/tty_settings.hpp"
#include "vreader/model/core/wake_pipe.hpp"
#include "vreader/model/devices/display/display_files.hpp"
#include "vreader/model/devices/display/epdc_state.hpp"
#include "vreader/model/devices/emmc/emmc_content.hpp"
#include "vreader/model/devices/gadget/kept_nodes.hpp"
#include "vreader/model/devices/gadget/uevent_queue.hpp"
#include "vreader/model/devices/input/input_device.hpp"
#include "vreader/model/devices/modem/modem_content.hpp"
#include "vreader/model/devices/net/network_interfaces.hpp"
#include "vreader/model/devices/past_log/past_log.hpp"
#include "vreader/model/devices/past_log/past_log_generate.hpp"
#include "vreader/model/devices/subcpu/subcpu_state.hpp"
#include "vreader/model/devices/touch_panel/touch_panel_content.hpp"
#include "vreader/model/state/files.hpp"
#include "vreader/model/state/gadget_content.hpp"
#include "vreader/model/state/reader_lock.hpp"
#include "vreader/model/usb/usb_content.hpp"
#include "vreader/model/usb/usb_files.hpp"
#include "vreader/model/usb/usb_partitions.hpp"
#include "vreader/model/usb/usb_tunnel.hpp"

#include <cstring>
#include <filesystem>

namespace vreader {

bool create_reader(const std::string& path, const ReaderConfig& config, bool force, std::string& error)
{
    namespace fs = std::filesystem;
    error = check_config(config);
    if (!error.empty())
        return false;
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec || !fs::is_directory(path, ec)) {
        error = "cannot create directory " + path + (ec ? ": " + ec.message() : std::string());
        return false;
    }
    const std::string root = path + "/";
    if (file_exists(root + std::string(kConfigFile))) {
        if (!force) {
            error = path + " is already a virtual reader (--force resets it)";
            return false;
        }
    } else if (!fs::is_empty(path, ec) || ec) {
        error = path + " is not empty and is not a virtual reader";
        return false;
    }

    ReaderLock lock(root + std::string(kLockFile));
    if (lock.error() != 0) {
        error = "cannot lock " + path + ": " + std::strerror(lock.error());
        return false;
    }
    for (const std::string& name : {std::string(kStandbyFile), termios_file("ttymxc1"),
                                    termios_file("ttyGS0"), termios_file("ttyUSB0"), std::string("ttyGS0.pc"),
                                    std::string(kNodesFile), std::string(kGadgetFile)})
        fs::remove(root + name, ec);
    fs::create_directories(root + "sys", ec);
    fs::create_directories(root + "proc", ec);

    const std::string panel(std::size_t{config.panel_width} * config.panel_height, '\xFF');
    int e = replace_file(root + std::string(kPanelFile), panel);
    if (e == 0)
        e = create_zero_file(root + std::string(kMemoryFile), memory_size(config));
    if (e == 0)
        e = replace_file(root + std::string(kStateFile), format_state(EpdcState{}));
    if (e == 0)
        e = create_emmc(root, config);
    if (e == 0)
        e = replace_file(root + std::string(kTouchPanelFile), format_touch_panel(default_touch_panel()));
    if (e == 0)
        e = create_subcpu(root);
    if (e == 0)
        e = replace_file(root + std::string(kUsbFile), format_usb(UsbContent{}));
    if (e == 0)
        e = usb::create_storage(path);
    if (e == 0)
        e = usb::create_partitions(path);
    if (e == 0)
        e = usb::create_tunnel(path);
    if (e == 0)
        e = replace_file(root + std::string(kModemFile), format_modem(ModemContent{}));
    if (e == 0)
        e = save_interfaces(root + std::string(kNetworkFile), default_interfaces());
    if (e == 0)
        e = past_log::save(path, past_log::generate_log({}));
    if (e == 0)
        e = past_log::save_counters(path, {});
    if (e == 0)
        e = create_input_pipes(root, config);
    if (e == 0) {
        // A reset drops the messages still waiting.
        fs::remove_all(root + std::string(kUeventDir), ec);
        e = create_uevent_spool(path);
    }
    if (e == 0)
        e = make_wake_pipe(root + std::string(kFaultsWake));
    if (e == 0)
        e = replace_file(root + std::string(kJournalFile), "");
    if (e == 0)
        e = replace_file(root + std::string(kFaultsFile), "");
    // The configuration goes last: until it is there, the directory is not a reader.
    if (e == 0)
        e = replace_file(root + std::string(kConfigFile), format_config(config));
    if (e != 0) {
        error = "cannot write the reader's files in " + path + ": " + std::strerror(e);
        return false;
    }
    return true;
}

}  // namespace vreader
