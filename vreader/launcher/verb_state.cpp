// vreader state / vreader set: show the devices' kept state, change a knob.
#include "vreader/launcher/cli.hpp"
#include "vreader/launcher/gadget_state.hpp"
#include "vreader/launcher/usb_state.hpp"
#include "vreader/model/core/session.hpp"
#include "vreader/model/core/tty_settings.hpp"
#include "vreader/model/devices/display/display_files.hpp"
#include "vreader/model/devices/display/epdc_kept_state.hpp"
#include "vreader/model/devices/emmc/emmc_content.hpp"
#include "vreader/model/devices/gadget/gadget_serial_file.hpp"
#include "vreader/model/devices/modem/modem_content.hpp"
#include "vreader/model/devices/net/network_interfaces.hpp"
#include "vreader/model/devices/subcpu/subcpu_node.hpp"
#include "vreader/model/devices/subcpu/subcpu_state.hpp"
#include "vreader/model/devices/touch_panel/touch_panel_content.hpp"
#include "vreader/model/devices/touch_panel/touch_panel_node.hpp"
#include "vreader/model/state/files.hpp"
#include "vreader/model/state/journal.hpp"
#include "vreader/model/state/key_value.hpp"
#include "vreader/model/state/reader_lock.hpp"
#include "vreader/model/usb/usb_content.hpp"

#include <cstdio>
#include <cstring>

namespace vreader::cli {
namespace {

void print_subcpu(const ReaderDir& reader)
{
    SubCpuState state;
    std::string why;
    if (!load_subcpu(reader, state, why)) {
        std::printf("subcpu=unreadable: %s\n", why.c_str());
        return;
    }
    std::uint8_t record[8] = {};
    std::string bytes;
    if (read_file(reader.file(cluster_file(state.active_cluster)), bytes) == 0 && bytes.size() >= sizeof record)
        std::memcpy(record, bytes.data(), sizeof record);
    std::printf("spi_cs=%u\ncontrol_mode=%s\nsubcpu_update_mode=%d\nsubcpu_active_cluster=%u\n"
                "subcpu_boot_cluster=%u\nsubcpu_version_mcu=%s\nsubcpu_version_self=%s\ncharger=",
                reader.config().spi_cs, state.control_mode.c_str(), state.update_mode ? 1 : 0, state.active_cluster,
                state.boot_cluster, format_version(version_of(record)).c_str(),
                format_version(state.version_self).c_str());
    const char* separator = "";
    for (const auto& [reg, value] : state.charger) {
        std::printf("%s%02X:%02X", separator, reg, value);
        separator = " ";
    }
    std::printf("\n");
}

// Whether the reader has a modem, and modem.conf with its keys prefixed.
void print_modem(const ReaderDir& reader)
{
    std::printf("modem_present=%d\n", reader.config().modem ? 1 : 0);
    std::string text;
    ModemContent modem;
    std::string why;
    const int e = read_file(reader.file(kModemFile), text);
    if ((e != 0 && e != ENOENT) || !parse_modem(text, modem, why)) {
        std::printf("modem=unreadable: %s\n", e != 0 ? std::strerror(e) : why.c_str());
        return;
    }
    std::vector<KeyValue> entries;
    parse_key_values(format_modem(modem), entries, why);
    for (const auto& [key, value] : entries)
        std::printf("modem_%s=%s\n", key.c_str(), value.c_str());
}

// modem.present changes the device tree (reader.conf); the other keys what
// the modem answers (modem.conf).
std::string set_modem_key(const ReaderDir& reader, std::string_view key, std::string_view value)
{
    if (key == "present") {
        if (value != "0" && value != "1")
            return "modem.present takes 1 or 0: " + std::string(value);
        ReaderConfig config = reader.config();
        config.modem = value == "1";
        if (const int e = replace_file(reader.file(kConfigFile), format_config(config)))
            return "cannot write " + reader.file(kConfigFile) + ": " + std::strerror(e);
        return {};
    }
    std::string text;
    if (const int e = read_file(reader.file(kModemFile), text); e != 0 && e != ENOENT)
        return "cannot read " + reader.file(kModemFile) + ": " + std::strerror(e);
    text += "\n" + std::string(key) + "=" + std::string(value) + "\n";
    ModemContent content;
    std::string error;
    if (!parse_modem(text, content, error))
        return "modem." + std::string(key) + ": " + error;
    if (const int e = replace_file(reader.file(kModemFile), format_modem(content)))
        return "cannot write " + reader.file(kModemFile) + ": " + std::strerror(e);
    return {};
}

// One line an interface: its address and when it appears.
void print_network(const ReaderDir& reader)
{
    NetInterfaces interfaces;
    std::string why;
    if (!load_interfaces(reader.file(kNetworkFile), interfaces, why)) {
        std::printf("net=unreadable: %s\n", why.c_str());
        return;
    }
    if (interfaces.empty())
        std::printf("net=none\n");
    for (const NetInterface& interface : interfaces)
        std::printf("net.%s=%s appears_after=%u\n", interface.name.c_str(), format_mac(interface.mac).c_str(),
                    interface.appears_after_s);
}

std::string set_network_key(const ReaderDir& reader, std::string_view key, std::string_view value)
{
    NetInterfaces interfaces;
    std::string why;
    if (!load_interfaces(reader.file(kNetworkFile), interfaces, why))
        return "cannot read " + reader.file(kNetworkFile) + ": " + why;
    if (std::string error = set_interface_key(interfaces, key, value); !error.empty())
        return "net." + std::string(key) + ": " + error;
    if (const int e = save_interfaces(reader.file(kNetworkFile), interfaces))
        return "cannot write " + reader.file(kNetworkFile) + ": " + std::strerror(e);
    return {};
}

// Sets one of the sub-CPU's or the charger's values. Empty, or why not.
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

// Replaces one key of touch_panel.conf, refusing what the panel cannot read.
std::string set_panel_key(const ReaderDir& reader, std::string_view key, std::string_view value)
{
    std::string text;
    if (const int e = read_file(reader.file(kTouchPanelFile), text))
        return "cannot read " + reader.file(kTouchPanelFile) + ": " + std::strerror(e);
    text += "\n" + std::string(key) + "=" + std::string(value) + "\n";
    TouchPanelContent content;
    std::string error;
    if (!parse_touch_panel(text, content, error))
        return "panel." + std::string(key) + ": " + error;
    if (const int e = replace_file(reader.file(kTouchPanelFile), format_touch_panel(content)))
        return "cannot write " + reader.file(kTouchPanelFile) + ": " + std::strerror(e);
    return {};
}

int run_state(const Verb& verb, const Args& args)
{
    if (wants_help(args)) {
        print_verb_help(verb);
        return 0;
    }
    if (args.size() != 1)
        return usage_error(verb, args.empty() ? "no directory" : "too many arguments");
    const auto reader = open_reader(verb, args[0]);
    if (!reader)
        return kExitFailure;
    Journal unused(reader->file(kJournalFile));
    Session session(*reader, unused);
    EpdcKeptState kept(session);
    const EpdcState* state = kept.get();
    if (session.error() != 0 || state == nullptr)
        return failure(verb, "cannot read " + reader->file(kStateFile));
    const ReaderConfig& config = reader->config();
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
    struct termios uart {};
    std::string why;
    std::printf("ttymxc1=%s\n", load_termios(*reader, kUartDevice, uart, why) ? describe_termios(uart).c_str()
                                                                              : ("unreadable: " + why).c_str());
    struct termios gadget {};
    std::printf("ttyGS0=%s\n", load_termios(*reader, kGadgetDevice, gadget, why) ? describe_termios(gadget).c_str()
                                                                              : ("unreadable: " + why).c_str());
    std::string pc_end;
    read_file(reader->file(kGadgetPcFile), pc_end);
    std::printf("ttyGS0_pc=%s\n", pc_end.empty() ? "none\n" : pc_end.c_str());
    print_subcpu(*reader);
    print_usb(*reader);
    print_modem(*reader);
    print_network(*reader);
    print_past_log(*reader);
    print_gadget(*reader);
    std::printf("emmc_size=%llu\nemmc_unit=%u\nemmc_nodes=%.*s\nboot_env=%s\n",
                static_cast<unsigned long long>(config.emmc_size), config.emmc_unit,
                static_cast<int>(emmc_nodes_name(config.emmc_nodes).size()), emmc_nodes_name(config.emmc_nodes).data(),
                active_boot_env(*reader).c_str());
    return 0;
}

int run_set(const Verb& verb, const Args& args)
{
    if (wants_help(args)) {
        print_verb_help(verb);
        return 0;
    }
    if (args.size() != 3)
        return usage_error(verb, args.size() < 3 ? "too few arguments" : "too many arguments");
    const std::string_view key = args[1];
    const std::string_view value = args[2];
    std::optional<std::int64_t> temperature;
    std::optional<std::uint64_t> vcom;
    std::optional<WaveformVersion> version;
    if (key.starts_with("subcpu.") || key.starts_with("charger.")) {
        const auto reader = open_reader(verb, args[0]);
        if (!reader)
            return kExitFailure;
        const ReaderLock lock(reader->file(kLockFile));
        if (const std::string error = set_subcpu_key(*reader, key, value); !error.empty())
            return usage_error(verb, error);
        return 0;
    }
    if (key.starts_with("panel.")) {
        const auto reader = open_reader(verb, args[0]);
        if (!reader)
            return kExitFailure;
        const ReaderLock lock(reader->file(kLockFile));
        if (const std::string error = set_panel_key(*reader, key.substr(6), value); !error.empty())
            return usage_error(verb, error);
        return 0;
    }
    if (key.starts_with("modem.")) {
        const auto reader = open_reader(verb, args[0]);
        if (!reader)
            return kExitFailure;
        const ReaderLock lock(reader->file(kLockFile));
        if (const std::string error = set_modem_key(*reader, key.substr(6), value); !error.empty())
            return usage_error(verb, error);
        return 0;
    }
    if (key.starts_with("net.")) {
        const auto reader = open_reader(verb, args[0]);
        if (!reader)
            return kExitFailure;
        const ReaderLock lock(reader->file(kLockFile));
        if (const std::string error = set_network_key(*reader, key.substr(4), value); !error.empty())
            return usage_error(verb, error);
        return 0;
    }
    if (key.starts_with("tree.")) {
        const auto reader = open_reader(verb, args[0]);
        if (!reader)
            return kExitFailure;
        const ReaderLock lock(reader->file(kLockFile));
        if (const std::string error = set_device_tree_key(*reader, key.substr(5), value); !error.empty())
            return usage_error(verb, error);
        return 0;
    }
    if (key.starts_with("usb.")) {
        const auto reader = open_reader(verb, args[0]);
        if (!reader)
            return kExitFailure;
        const ReaderLock lock(reader->file(kLockFile));
        if (const std::string error = set_usb_key(*reader, key.substr(4), value); !error.empty())
            return usage_error(verb, error);
        return 0;
    }
    if (is_gadget_key(key)) {
        const auto reader = open_reader(verb, args[0]);
        if (!reader)
            return kExitFailure;
        if (const std::string error = set_gadget_state(*reader, key, value); !error.empty())
            return usage_error(verb, error);
        return 0;
    }
    if (key == "boot_env") {
        if (value != "normal" && value != "recovery")
            return usage_error(verb, "boot_env takes normal or recovery: " + std::string(value));
        const auto reader = open_reader(verb, args[0]);
        if (!reader)
            return kExitFailure;
        const ReaderLock lock(reader->file(kLockFile));
        if (const std::string error = activate_boot_env(*reader, value); !error.empty())
            return failure(verb, error);
        return 0;
    }
    if (key == "pmic_temperature") {
        if (!(temperature = parse_signed(value, INT32_MIN, INT32_MAX)))
            return usage_error(verb, "pmic_temperature takes a whole number of degrees: " + std::string(value));
    } else if (key == "vcom") {
        if (!(vcom = parse_unsigned(value, UINT32_MAX)))
            return usage_error(verb, "vcom takes microvolts below zero, 0 to 4294967295: " + std::string(value));
    } else if (key == "wf_version") {
        if (!(version = parse_wf_version(value)))
            return usage_error(verb, "wf_version takes 20 hexadecimal digits: " + std::string(value));
    } else {
        return usage_error(verb, "unknown key '" + std::string(key) +
                                     "'; keys: pmic_temperature vcom wf_version boot_env panel.KEY subcpu.KEY "
                                     "charger.XX usb.KEY tree.KEY modem.KEY net.NAME.KEY luns usb_modules "
                                     "lunN.ro lunN.prevent lunN.file");
    }

    const auto reader = open_reader(verb, args[0]);
    if (!reader)
        return kExitFailure;
    Journal unused(reader->file(kJournalFile));
    Session session(*reader, unused);
    EpdcKeptState kept(session);
    EpdcState* state = kept.get();
    if (session.error() != 0 || state == nullptr)
        return failure(verb, "cannot read " + reader->file(kStateFile));
    if (temperature)
        state->pmic_temperature = static_cast<std::int32_t>(*temperature);
    if (vcom)
        state->vcom = static_cast<std::uint32_t>(*vcom);
    if (version)
        state->wf_version = *version;
    kept.changed();
    if (const int e = session.commit())
        return failure(verb, "cannot write " + reader->file(kStateFile) + ": " + std::strerror(e));
    return 0;
}

}  // namespace

const Verb kStateVerb = {
    "state",
    "DIR",
    "print the devices' kept state",
    "Prints, one key=value a line, the reader's geometry (panel size, stride\n"
    "pad, the current orientation's screen and memory sizes) and what the\n"
    "display controller keeps between runs: rotate, yoffset, update_scheme,\n"
    "default_temperature, pmic_temperature, pwrdown_delay, vcom, wf_version,\n"
    "panel_init_flag, standby and the standby screen's size; then the eMMC's\n"
    "size, unit and node names, the line settings of the panel UART (ttymxc1)\n"
    "and of the USB gadget serial port (ttyGS0), ttyGS0_pc: the path a PC-side\n"
    "program opens while a program holds the gadget port (none otherwise), the\n"
    "sub-CPU (spi_cs, control_mode, update mode, the clusters that run and boot\n"
    "next, both firmware versions) and the charger's registers; the USB side\n"
    "(usb_volumes, usb_identity: vendor, product and revision, usb_locked,\n"
    "usb_connected, usb_version, usb_clock, usb_notice and usb_notices: the\n"
    "last begin/end value and their count, usb_getinfo_ack: the count of bytes\n"
    "not fetched acknowledged last, usb_command: the vendor command in\n"
    "progress, usb_update_mode: 0 normal or 1 update, one\n"
    "usb_partition.NAME=first=N second=N third=N image=yes|no tag=TEXT\n"
    "extra=yes|no announced=N bytes=N line per update partition or\n"
    "usb_partitions=none, usb_tunnel_queued and usb_tunnel_responses: the HTTP\n"
    "requests queued and the responses kept); the WAN modem (modem_present, then modem_KEY=VALUE for each key\n"
    "of modem.conf); the network interfaces (net.NAME=MAC appears_after=SECONDS,\n"
    "or net=none); the past log (past_log_entries, past_log_bytes and\n"
    "past_log_flushes, the flushes asked of the driver); the mass-storage\n"
    "gadget (gadget_luns=N, then lunN=PATH MAJOR:MINOR ro=0|1, lunN=PATH N\n"
    "sectors ro=0|1 for a regular file, or lunN=ejected ro=0|1; door=locked\n"
    "after while the PC keeps the door locked), usb_modules (the loaded USB modules in loading\n"
    "order, or none) and the nodes programs made under /tmp/lun*\n"
    "(tmp_node=PATH TYPE MODE MAJOR:MINOR, or tmp_nodes=none); and boot_env:\n"
    "the saved boot environment the active one equals (normal, recovery or\n"
    "neither; unknown when the raw-data table does not locate the three\n"
    "areas).\n",
    run_state,
};

const Verb kSetVerb = {
    "set",
    "DIR KEY VALUE",
    "change a device knob",
    "Changes what the devices will report:\n\n"
    "  pmic_temperature DEGREES   the panel temperature the controller reads\n"
    "  vcom MICROVOLTS            the VCOM kept in the panel's EEPROM\n"
    "  wf_version HEX20           the waveform version, 20 hexadecimal digits\n"
    "  boot_env normal|recovery   copy that mode's saved boot environment over\n"
    "                             the active one, as the boot mode tool does\n"
    "  panel.KEY VALUE            what the touch-panel controller answers with\n"
    "                             (touch_panel.conf), e.g. panel.version '1 2 3 4',\n"
    "                             panel.light.1F '10 20 30 / 40 50' (X / Y values at\n"
    "                             level 0x1F), panel.led.0E, panel.touch, panel.rts low\n"
    "  subcpu.update_mode 0|1     whether the sub-CPU is in update mode\n"
    "  subcpu.active_cluster 0|1, subcpu.boot_cluster 0|1\n"
    "                             the flash cluster that runs, that boots next\n"
    "  subcpu.version_self YYYYMMDD_N   the self-update firmware's version\n"
    "  subcpu.control_mode update|normal   the SPI controller's attribute\n"
    "  charger.XX VALUE           a charger register (XX in hexadecimal)\n"
    "  usb.KEY VALUE              the reader as a PC sees it over USB (usb.conf),\n"
    "                             e.g. usb.locked 1, usb.unlock_code 4321,\n"
    "                             usb.version 01000000, usb.volumes 'E:emb, F:ext,sd,',\n"
    "                             usb.product QLX-K2, usb.info.QUERY TEXT,\n"
    "                             usb.fingerprint '01 02 03', usb.command none,\n"
    "                             usb.update_mode 1, usb.file_status -204 (the\n"
    "                             next file read or write answers that status),\n"
    "                             usb.tunnel_status -1 (the next response\n"
    "                             hand-over's header carries it)\n"
    "  tree.KEY VALUE             the PC's device tree for the eject\n"
    "                             (device_tree.conf): tree.disk_number N,\n"
    "                             tree.removable 1|0, tree.volume_busy 1|0,\n"
    "                             tree.eject accept|veto|hang, tree.attached 1|0\n"
    "  modem.present 1|0          whether the reader has the WAN modem (/dev/ttyUSB0)\n"
    "  modem.KEY VALUE            what the modem answers (modem.conf):\n"
    "                             modem.meid TEXT (after 0x00), modem.psn TEXT\n"
    "                             (after ^PSN:), modem.echo on|off, modem.blank_lines\n"
    "                             on|off, modem.meid_answer and modem.psn_answer\n"
    "                             normal|no_data|error|cme_error|okay|silent,\n"
    "                             modem.handshake_errors N|always (ERROR to the\n"
    "                             first N AT after each open), modem.delivery\n"
    "                             whole|bytes (one byte a read)\n"
    "  net.NAME.mac XX:XX:XX:XX:XX:XX   a network interface's address (adds the\n"
    "                             interface NAME when it is new)\n"
    "  net.NAME.appears_after SECONDS   the interface exists only once the\n"
    "                             program's clock reached SECONDS: a Wi-Fi\n"
    "                             driver still loading\n"
    "  net.NAME none              remove the interface\n"
    "  luns N                     how many LUNs the mass-storage gadget has (0-16)\n"
    "  lunN.ro 0|1                a LUN's read-only flag\n"
    "  lunN.prevent 0|1           a LUN's door locked by the PC, or not\n"
    "  lunN.file PATH|none        a LUN's backing node, attached as it is, or\n"
    "                             ejected (lunN.device MAJOR:MINOR goes with it)\n"
    "  usb_modules 'A B'|none     the USB modules loaded, in loading order\n",
    run_set,
};

}  // namespace vreader::cli
