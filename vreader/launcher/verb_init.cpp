// vreader init: create (or reset) a virtual reader.
#include "vreader/launcher/cli.hpp"
#include "vreader/model/board/create_reader.hpp"
#include "vreader/model/devices/net/network_interfaces.hpp"
#include "vreader/model/state/files.hpp"
#include "vreader/model/state/gadget_content.hpp"
#include "vreader/model/state/key_value.hpp"

#include <cstdio>

namespace vreader::cli {
namespace {

int run_init(const Verb& verb, const Args& args)
{
    if (wants_help(args)) {
        print_verb_help(verb);
        return 0;
    }
    ReaderConfig config;
    GadgetContent gadget;
    bool force = false;
    std::string_view wifi = kDefaultWifiName;
    std::optional<std::string_view> dir;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        std::string_view value;
        const bool takes_value = arg == "--screen" || arg == "--stride-pad" || arg == "--emmc-size" ||
                                 arg == "--emmc-unit" || arg == "--emmc-nodes" || arg == "--spi-cs" ||
                                 arg == "--touch-devices" || arg == "--wifi" || arg == "--luns";
        if (const auto equals = arg.find('='); arg.starts_with("--") && equals != std::string_view::npos) {
            value = arg.substr(equals + 1);
            arg = arg.substr(0, equals);
        } else if (takes_value) {
            if (i + 1 == args.size())
                return usage_error(verb, std::string(arg) + " needs a value");
            value = args[++i];
        }
        if (arg == "--screen") {
            if (!parse_size(value, config.panel_width, config.panel_height))
                return usage_error(verb, "--screen takes WIDTHxHEIGHT, each 1 to 4096: " + std::string(value));
        } else if (arg == "--stride-pad") {
            const auto pad = parse_unsigned(value, kMaxStridePad);
            if (!pad)
                return usage_error(verb, "--stride-pad takes 0 to 4096 pixels: " + std::string(value));
            config.stride_pad = static_cast<std::uint32_t>(*pad);
        } else if (arg == "--emmc-size") {
            const auto size = parse_byte_count(value);
            if (!size || *size < kMinEmmcSize || *size > kMaxEmmcSize || *size % 512 != 0)
                return usage_error(verb, "--emmc-size takes 16M to 1T, a multiple of 512 bytes: " + std::string(value));
            config.emmc_size = *size;
        } else if (arg == "--emmc-unit") {
            const auto unit = parse_unsigned(value, kMaxEmmcUnit);
            if (!unit)
                return usage_error(verb, "--emmc-unit takes 0 to 31: " + std::string(value));
            config.emmc_unit = static_cast<std::uint32_t>(*unit);
        } else if (arg == "--emmc-nodes") {
            if (!parse_emmc_nodes(value, config.emmc_nodes))
                return usage_error(verb, "--emmc-nodes takes both, dev or block: " + std::string(value));
        } else if (arg == "--touch-devices") {
            const auto count = parse_unsigned(value, kMaxTouchDevices);
            if (!count)
                return usage_error(
                    verb, "--touch-devices takes 0 to " + std::to_string(kMaxTouchDevices) + ": " + std::string(value));
            config.touch_devices = static_cast<std::uint32_t>(*count);
        } else if (arg == "--spi-cs") {
            if (value != "0" && value != "2")
                return usage_error(verb, "--spi-cs takes 2, or 0 for an older board: " + std::string(value));
            config.spi_cs = value == "0" ? 0 : 2;
        } else if (arg == "--wifi") {
            if (value != "none" && !valid_interface_name(value))
                return usage_error(verb,
                                   "--wifi takes an interface name (1 to 15 characters, no '/', ':' "
                                   "or blank) or none: " +
                                       std::string(value));
            wifi = value == "none" ? std::string_view{} : value;
        } else if (arg == "--luns") {
            const auto count = parse_unsigned(value, kMaxLuns);
            if (!count)
                return usage_error(verb, "--luns takes 0 to " + std::to_string(kMaxLuns) + ": " + std::string(value));
            gadget.luns.resize(static_cast<std::size_t>(*count));
        } else if (arg == "--no-modem") {
            config.modem = false;
        } else if (arg == "--graphics-node") {
            config.graphics_node = true;
        } else if (arg == "--force") {
            force = true;
        } else if (arg.starts_with("-")) {
            return usage_error(verb, "unknown option " + std::string(arg));
        } else if (dir) {
            return usage_error(verb, "more than one directory");
        } else {
            dir = arg;
        }
    }
    if (!dir)
        return usage_error(verb, "no directory");
    std::string error;
    if (!create_reader(absolute_path(*dir), config, force, error))
        return failure(verb, error);
    const std::string network = absolute_path(*dir) + "/" + std::string(kNetworkFile);
    if (wifi != kDefaultWifiName && save_interfaces(network, default_interfaces(wifi)) != 0)
        return failure(verb, "cannot write " + network);
    const std::string gadget_file = absolute_path(*dir) + "/" + std::string(kGadgetFile);
    if (replace_file(gadget_file, format_gadget(gadget)) != 0)
        return failure(verb, "cannot write " + gadget_file);
    std::printf("virtual reader in %.*s: %ux%u panel, stride pad %u%s; %s eMMC as %s\n", static_cast<int>(dir->size()),
                dir->data(), config.panel_width, config.panel_height, config.stride_pad,
                config.graphics_node ? ", /dev/graphics/fb0" : "", format_byte_count(config.emmc_size).c_str(),
                emmc_node_names(config).c_str());
    return 0;
}

}  // namespace

const Verb kInitVerb = {
    "init",
    "DIR [--screen WxH] [--stride-pad N] [--graphics-node] [--emmc-size SIZE]\n"
    "       [--emmc-unit N] [--emmc-nodes both|dev|block] [--spi-cs 2|0] [--touch-devices N]\n"
    "       [--wifi NAME|none] [--no-modem] [--luns N] [--force]",
    "create a virtual reader in DIR",
    "Creates a virtual reader in DIR (made if needed): a white panel, zeroed\n"
    "framebuffer memory, default controller settings, an eMMC holding the raw\n"
    "areas of the raw-data table (the normal boot environment active, the\n"
    "identity area as the factory leaves it: see 'vreader dump --help'), a touch\n"
    "panel, a sub-CPU running firmware 20190521_1234 with a charger behind it,\n"
    "the reader as a PC sees it over USB (usb.conf: volumes E, F and G, not\n"
    "locked, protocol version 01000010, normal mode; storage/ with\n"
    "documents/readme.txt for the file service, partitions/ empty, tunnel/\n"
    "with one HTTP request queued), a Wi-Fi interface wlan0 with the\n"
    "address 06:3F:A2:91:5C:E7 (net.conf), a WAN modem on /dev/ttyUSB0\n"
    "(modem.conf: MEID A100004A7C2E91, serial number QK1NB405174), the past\n"
    "log of a boot (past_log.bin: see 'vreader pastlog --help'), an empty\n"
    "journal and no faults.\n\n"
    "  --screen WxH        panel size in its native orientation (default 600x800)\n"
    "  --stride-pad N      extra pixels at the end of each memory row (default 8)\n"
    "  --graphics-node     also provide /dev/graphics/fb0 (default: only /dev/fb0)\n"
    "  --emmc-size SIZE    eMMC size in bytes, or with K, M, G or T (default 4G);\n"
    "                      a sparse file, so a real size costs no disk\n"
    "  --emmc-unit N       the eMMC is mmcblkN (default 2)\n"
    "  --emmc-nodes WHICH  which names it has: /dev/mmcblkN (dev),\n"
    "                      /dev/block/mmcblkN (block) or both (default)\n"
    "  --spi-cs 2|0        the sub-CPU's SPI chip select: 2 (default), or 0 as on\n"
    "                      older boards, where control_mode sits under spi3.0\n"
    "  --luns N            LUNs of the USB mass-storage gadget, 0 to 16 (default 3)\n"
    "  --touch-devices N   touch input devices /dev/input/event1 on (default 1);\n"
    "                      /dev/input/event0 is the HOME key\n"
    "  --wifi NAME|none    the Wi-Fi interface's name (default wlan0), or none\n"
    "                      for a reader without network interfaces\n"
    "  --no-modem          a reader without a WAN modem: no /dev/ttyUSB0\n"
    "  --force             reset DIR if it already is a virtual reader: everything\n"
    "                      in it goes, and it ends up as a new directory would\n",
    run_init,
};

}  // namespace vreader::cli
