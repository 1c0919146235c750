// vreader state / vreader set: show the devices' kept state, change a knob.
#include "vreader/launcher/cli.hpp"
#include "vreader/model/core/device_row.hpp"
#include "vreader/model/core/session.hpp"
#include "vreader/model/state/journal.hpp"
#include "vreader/model/state/reader_lock.hpp"

#include <cstdio>
#include <cstring>
#include <optional>

namespace vreader::cli {
namespace {

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
    for (const DeviceRow* row : devices())
        if (row->print_state != nullptr)
            if (const std::string error = row->print_state(session); !error.empty())
                return failure(verb, error);
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
    const DeviceRow* owner = nullptr;
    for (const DeviceRow* row : devices())
        if (owner == nullptr && row->owns_key != nullptr && row->owns_key(key))
            owner = row;
    if (owner == nullptr)
        return usage_error(verb,
                           "unknown key '" + std::string(key) +
                               "'; keys: pmic_temperature vcom wf_version boot_env block.NAME panel.KEY subcpu.KEY "
                               "charger.XX usb.KEY tree.KEY modem.KEY net.NAME.KEY luns usb_modules "
                               "lunN.ro lunN.prevent lunN.file");
    if (owner->check_value != nullptr)
        if (const std::string error = owner->check_value(key, value); !error.empty())
            return usage_error(verb, error);
    const auto reader = open_reader(verb, args[0]);
    if (!reader)
        return kExitFailure;
    std::optional<ReaderLock> lock;
    if (!owner->set_locks_itself)
        lock.emplace(reader->file(kLockFile));
    if (const std::string error = owner->set_key(*reader, key, value); !error.empty())
        return owner->set_refusal_is_usage ? usage_error(verb, error) : failure(verb, error);
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
    "size, unit and node names, the line settings of the panel UART (ttymxc1),\n"
    "what the touch panel answers with (panel_KEY for each key of\n"
    "touch_panel.conf), the line settings of the USB gadget serial port\n"
    "(ttyGS0), ttyGS0_pc: the path a PC-side program opens while a program\n"
    "holds the gadget port (none otherwise), the\n"
    "sub-CPU (spi_cs, control_mode, update mode, the clusters that run and boot\n"
    "next, both firmware versions) and the charger's registers (REG:0xVALUE);\n"
    "the USB side (usb_volumes, usb_identity: vendor, product and revision, usb_locked,\n"
    "usb_connected, usb_version, usb_clock, usb_notice and usb_notices: the\n"
    "last begin/end value and their count, usb_getinfo_ack: the count of bytes\n"
    "not fetched acknowledged last, usb_command: the vendor command in\n"
    "progress (its code, name and exchanges), usb_update_mode: 0 normal or 1\n"
    "update, usb_KEY for each other key of usb.conf, one\n"
    "usb_partition.NAME=first=N second=N third=N image=yes|no tag=TEXT\n"
    "extra=yes|no announced=N bytes=N line per update partition or\n"
    "usb_partitions=none, usb_tunnel_queued and usb_tunnel_responses: the HTTP\n"
    "requests queued and the responses kept), usb_tree: the PC's device tree\n"
    "(disk_number=N removable=0|1 volume_busy=0|1 eject=accept|veto|hang\n"
    "attached=0|1 ejects=N); the WAN modem (modem_present, then modem_KEY=VALUE for each key\n"
    "of modem.conf); the network interfaces (net.NAME=MAC appears_after=SECONDS,\n"
    "or net=none); the past log (past_log_entries, past_log_bytes and\n"
    "past_log_flushes, the flushes asked of the driver); the mass-storage\n"
    "gadget (gadget_luns=N, then lunN=PATH MAJOR:MINOR ro=0|1, lunN=PATH N\n"
    "sectors ro=0|1 for a regular file, or lunN=ejected ro=0|1; prevent=1\n"
    "after while the PC keeps the door locked), usb_modules (the loaded USB modules in loading\n"
    "order, or none) and the nodes programs made under /tmp/lun*\n"
    "(tmp_node=PATH TYPE MODE MAJOR:MINOR, or tmp_nodes=none); the block\n"
    "devices taken away (block_removed=NAME..., or none); and boot_env:\n"
    "the saved boot environment the active one equals (normal, recovery or\n"
    "neither; unknown when the raw-data table does not locate the three\n"
    "areas). A value that 'vreader set' takes is shown as it takes it.\n",
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
    "  block.NAME 0|1             take a block device away (a card pulled, a\n"
    "                             partition deleted) or give it back:\n"
    "                             block.mmcblk2p4 0, block.mmcblk0 0\n"
    "  panel.KEY VALUE            what the touch-panel controller answers with\n"
    "                             (touch_panel.conf), e.g. panel.version '1 2 3 4',\n"
    "                             panel.light.1F '10 20 30 / 40 50' (X / Y values at\n"
    "                             level 0x1F), panel.led.0E, panel.touch, panel.rts low\n"
    "  subcpu.update_mode 0|1     whether the sub-CPU is in update mode\n"
    "  subcpu.active_cluster 0|1, subcpu.boot_cluster 0|1\n"
    "                             the flash cluster that runs, that boots next\n"
    "  subcpu.version_self YYYYMMDD_N   the self-update firmware's version\n"
    "  subcpu.control_mode update|normal   the SPI controller's attribute\n"
    "  charger.XX VALUE           a charger register (XX in hexadecimal; VALUE in\n"
    "                             decimal or 0x hexadecimal, as state shows it)\n"
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
