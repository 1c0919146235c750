// vreader uevent: send one kernel uevent message to the reader's programs.
#include "vreader/launcher/cli.hpp"
#include "vreader/model/devices/gadget/uevent_queue.hpp"
#include "vreader/model/state/files.hpp"
#include "vreader/model/state/key_value.hpp"
#include "vreader/model/state/reader_lock.hpp"

#include <cstdio>
#include <cstring>
#include <optional>

namespace vreader::cli {
namespace {

constexpr std::uint64_t kLargestMessage = 1 << 20;

struct MessageOptions {
    std::optional<std::string> raw_file;
    std::optional<std::string> header;  // set by --header, or empty by --no-header
    bool final_nul = true;
    std::uint64_t pad = 0;
    bool at_bind = false;
    std::vector<std::string> strings;
};

std::string value_of(const std::vector<std::string>& strings, std::string_view key)
{
    for (const auto& text : strings)
        if (text.starts_with(key) && text.size() > key.size() && text[key.size()] == '=')
            return text.substr(key.size() + 1);
    return {};
}

// The strings of a message as the kernel sends it: "ACTION@DEVPATH", then
// KEY=VALUE, each ended by a NUL.
std::string build_message(const MessageOptions& options)
{
    std::vector<std::string> strings;
    if (!options.header)
        strings.push_back(value_of(options.strings, "ACTION") + "@" + value_of(options.strings, "DEVPATH"));
    else if (!options.header->empty())
        strings.push_back(*options.header);
    strings.insert(strings.end(), options.strings.begin(), options.strings.end());
    std::string message;
    for (const auto& text : strings)
        message.append(text).push_back('\0');
    return message;
}

int run_uevent(const Verb& verb, const Args& args)
{
    if (wants_help(args)) {
        print_verb_help(verb);
        return 0;
    }
    if (args.empty())
        return usage_error(verb, "no directory");
    MessageOptions options;
    bool no_header = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        const bool has_value = i + 1 < args.size();
        if (arg == "--raw" && has_value) {
            options.raw_file = absolute_path(args[++i]);
        } else if (arg == "--header" && has_value) {
            options.header = std::string(args[++i]);
        } else if (arg == "--no-header") {
            no_header = true;
        } else if (arg == "--no-final-nul") {
            options.final_nul = false;
        } else if (arg == "--at-bind") {
            options.at_bind = true;
        } else if (arg == "--pad" && has_value) {
            const auto pad = parse_unsigned(args[++i], kLargestMessage);
            if (!pad)
                return usage_error(verb, "--pad takes a byte count up to 1048576: " + std::string(args[i]));
            options.pad = *pad;
        } else if (arg == "--") {
            options.strings.insert(options.strings.end(), args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        } else if (arg.starts_with("--")) {
            return usage_error(verb, "unknown option or missing value: " + std::string(arg));
        } else {
            options.strings.emplace_back(arg);
        }
    }
    if (no_header && options.header)
        return usage_error(verb, "--header and --no-header exclude each other");
    if (no_header)
        options.header = std::string();
    if (options.raw_file && (!options.strings.empty() || options.header || options.pad != 0 || !options.final_nul))
        return usage_error(verb, "--raw sends the file as it is, with no strings or other message options");
    if (!options.raw_file && options.strings.empty() && !options.header)
        return usage_error(verb, "no strings to send (ACTION=... DEVPATH=... KEY=VALUE...)");

    const auto reader = open_reader(verb, args[0]);
    if (!reader)
        return kExitFailure;
    std::string message;
    if (options.raw_file) {
        if (const int e = read_file(*options.raw_file, message))
            return failure(verb, *options.raw_file + ": " + std::strerror(e));
    } else {
        message = build_message(options);
        if (options.pad > 0) {
            // One more string, PAD=xxx..., brings the message to that size.
            if (message.size() + 5 > options.pad)
                return usage_error(verb, "the message is " + std::to_string(message.size()) +
                                             " bytes already; --pad needs room for PAD=");
            message += "PAD=" + std::string(static_cast<std::size_t>(options.pad) - message.size() - 5, 'x') + '\0';
        }
        if (!options.final_nul && !message.empty() && message.back() == '\0')
            message.pop_back();
    }
    if (message.size() > kLargestMessage)
        return usage_error(verb, "a message holds at most 1048576 bytes");
    const ReaderLock lock(reader->file(kLockFile));
    std::size_t copies = 0;
    const int e = options.at_bind ? send_uevent_at_bind(reader->path(), message, copies)
                                  : send_uevent(reader->path(), message, copies);
    if (e != 0)
        return failure(verb, std::string("cannot send the message: ") + std::strerror(e));
    if (copies == 0 && !options.at_bind)
        std::fprintf(stderr, "vreader uevent: no program listens: the message is lost, as the kernel's would be\n");
    return 0;
}

}  // namespace

const Verb kUeventVerb = {
    "uevent",
    "DIR [--at-bind] [--header TEXT | --no-header] [--no-final-nul] [--pad N] [STRING...]"
    " | DIR [--at-bind] --raw FILE",
    "send a kernel uevent message to the reader's programs",
    "Sends one message of the kernel's uevent netlink socket. As the kernel\n"
    "does, it gives every socket bound to group 1 now a copy, which the\n"
    "program receives in order, one whole message a recv; with no socket\n"
    "listening the message is lost (the launcher says so). The message is\n"
    "NUL-separated strings: a header ACTION@DEVPATH made of the ACTION= and\n"
    "DEVPATH= strings, then each STRING as given, each ended by a NUL. A\n"
    "partition's event as the kernel sends it:\n\n"
    "  vreader uevent DIR ACTION=remove \\\n"
    "    DEVPATH=/devices/platform/sdhci-esdhc-imx.3/mmc_host/mmc2/mmc2:0001/block/mmcblk2/mmcblk2p4 \\\n"
    "    SUBSYSTEM=block MAJOR=179 MINOR=68 DEVNAME=mmcblk2p4 DEVTYPE=partition \\\n"
    "    DISKSEQ=3 PARTN=4 SEQNUM=1042\n\n"
    "STRINGs are taken as they are: empty ones and ones without '=' make\n"
    "malformed messages.\n\n"
    "  --at-bind       the message is sent right after a program next binds a\n"
    "                  socket to the group (at once when one listens already):\n"
    "                  an event for a program that is yet to start\n"
    "  --header TEXT   TEXT is the first string instead of ACTION@DEVPATH\n"
    "  --no-header     no header string (so does an empty TEXT)\n"
    "  --no-final-nul  the last string is not ended by a NUL\n"
    "  --pad N         a last string PAD=xxx... brings the message to N bytes\n"
    "                  (at most 1048576)\n"
    "  --raw FILE      the file's bytes are the message, unchanged\n",
    run_uevent,
};

}  // namespace vreader::cli
