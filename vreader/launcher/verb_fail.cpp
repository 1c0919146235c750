// vreader fail: make device requests fail, to exercise programs' error paths.
#include "vreader/launcher/cli.hpp"
#include "vreader/model/core/device_row.hpp"
#include "vreader/model/core/wake_pipe.hpp"
#include "vreader/model/state/errno_names.hpp"
#include "vreader/model/state/faults.hpp"
#include "vreader/model/state/files.hpp"
#include "vreader/model/state/key_value.hpp"
#include "vreader/model/state/reader_lock.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vreader::cli {
namespace {

std::string known_requests()
{
    std::string text;
    for (const auto name : fault_requests())
        text += "\n  " + std::string(name);
    return text;
}

int run_fail(const Verb& verb, const Args& args)
{
    if (wants_help(args)) {
        print_verb_help(verb);
        return 0;
    }
    if (args.size() < 2)
        return usage_error(verb, "too few arguments");
    const bool list = args[1] == "--list";
    const bool clear = args[1] == "--clear";
    Fault fault;
    if (list || clear) {
        if (args.size() != 2)
            return usage_error(verb, "unexpected argument " + std::string(args[2]));
    } else if (args[1] == "--at") {
        if (args.size() != 4)
            return usage_error(verb, args.size() < 4 ? "--at takes N and EFFECT" : "too many arguments");
        const auto at = parse_unsigned(args[2], UINT32_MAX);
        if (!at || *at == 0)
            return usage_error(verb, "--at takes a request number from 1: " + std::string(args[2]));
        std::string why;
        if (!parse_at_effect(args[3], fault, why))
            return usage_error(verb, why + ": " + std::string(args[3]));
        fault.request = std::string(kAtRequest);
        fault.at = static_cast<std::uint32_t>(*at);
    } else {
        Args rest = args;
        if (rest.size() >= 2 && rest[rest.size() - 2] == "--after") {
            const auto skip = parse_unsigned(rest.back(), UINT32_MAX);
            if (!skip)
                return usage_error(verb, "--after takes a number of requests: " + std::string(rest.back()));
            fault.skip = static_cast<std::uint32_t>(*skip);
            rest.resize(rest.size() - 2);
        }
        if (rest.size() < 3 || rest.size() > 4)
            return usage_error(verb, rest.size() < 3 ? "too few arguments" : "too many arguments");
        if (!parse_fault_target(args[1], fault.device, fault.request))
            return usage_error(verb, "unknown request '" + std::string(args[1]) +
                                         "'; REQUEST is [DEVICE:]NAME, the names being:" + known_requests());
        std::string why;
        if (!parse_fault_effect(args[2], fault.request, fault, why))
            return usage_error(verb, why + ": " + std::string(args[2]));
        if (rest.size() == 4 && rest[3] == "always") {
            fault.always = true;
        } else if (rest.size() == 4) {
            const auto count = parse_unsigned(rest[3], UINT32_MAX);
            if (!count || *count == 0)
                return usage_error(verb, "COUNT must be a positive number or 'always': " + std::string(rest[3]));
            fault.remaining = static_cast<std::uint32_t>(*count);
        }
    }

    const auto reader = open_reader(verb, args[0]);
    if (!reader)
        return kExitFailure;
    // A fault that no node of this reader could fire would pass every test
    // it is set for and test nothing.
    if (const std::string why = fault.at != 0 ? std::string() : fault_misfit(reader->config(), fault);
        !list && !clear && !why.empty())
        return usage_error(verb, why);
    const ReaderLock lock(reader->file(kLockFile));
    const std::string path = reader->file(kFaultsFile);
    std::string text;
    if (const int e = read_file(path, text); e != 0 && e != ENOENT)
        return failure(verb, path + ": " + std::strerror(e));
    std::vector<Fault> faults;
    std::string error;
    if (!clear && !parse_faults(text, faults, error))
        return failure(verb, path + ": " + error);
    if (list) {
        const std::string listing = format_faults(faults);
        std::fwrite(listing.data(), 1, listing.size(), stdout);
        return 0;
    }
    if (clear)
        faults.clear();
    else
        set_fault(faults, fault);
    if (const int e = replace_file(path, format_faults(faults)))
        return failure(verb, path + ": " + std::strerror(e));
    // A program waiting in poll learns of a "poll" fault at once.
    wake(reader->file(kFaultsWake));
    return 0;
}

}  // namespace

const Verb kFailVerb = {
    "fail",
    "DIR [DEVICE:]REQUEST EFFECT [COUNT] [--after N] | DIR --at N EFFECT | DIR --list | DIR --clear",
    "make device requests fail",
    "Makes the next COUNT requests named REQUEST go wrong, whatever the program\n"
    "asks. COUNT is a positive number (default 1) or 'always'; a count is used\n"
    "up across runs. With --after N, the first N such requests pass unharmed.\n"
    "A new fault on a request replaces the one it had.\n\n"
    "--at N EFFECT fails the Nth device request of the next program run,\n"
    "whatever it is: the requests are the lines the run journals, numbered\n"
    "from 1 (a line with \"repeated\":K stands for K more of the line before\n"
    "it). EFFECT is an errno or 'short' (a read or write moves half the bytes).\n"
    "Exactly request N takes it: when it cannot (an munmap, a line a model\n"
    "adds, or for 'short' one that moves no data) nothing is injected, and\n"
    "the run says so on its standard error.\n"
    "The run takes the fault out of the file when it starts, fired or not;\n"
    "a new --at replaces an earlier one.\n\n"
    "REQUEST is 'open' (opening a device node), 'close', 'read', 'write',\n"
    "'lseek', 'fsync', 'mmap', 'fstat' (of any descriptor, files included),\n"
    "'usleep', 'nanosleep', 'poll' (a poll that waits: for time only, or on\n"
    "devices that nothing made ready yet), or a display\n"
    "controller request such as MXCFB_SEND_UPDATE, a serial port's 'tcgetattr'\n"
    "and 'tcsetattr', a modem-line request\n"
    "(TIOCMGET, TIOCMBIS, TIOCMBIC), or the touch panel's and the sub-CPU's\n"
    "replies: 'reply', or 'reply_XX' for the replies to command XX (hexadecimal,\n"
    "in either case), or the sub-CPU's flash programming ('flash'). With DEVICE\n"
    "it fires only on that device's nodes: 'fb0' (the framebuffer), 'mmcblk2'\n"
    "(the eMMC, by its unit), 'ttymxc1' (the touch-panel UART), 'ttyGS0' (the\n"
    "gadget serial port), 'sub_cpu', 'control_mode', e.g. mmcblk2:read.\n\n"
    "A read that would wait for input waits as it would without the fault\n"
    "unless the fault fails it at once (an errno, with no passes left): a\n"
    "short read halves what comes, and a read the fault lets pass is one\n"
    "that got its input.\n\n"
    "The network side (device 'net') takes 'socket' (opening an IPv4 datagram\n"
    "socket) and 'SIOCGIFHWADDR' (asking for an interface's hardware address),\n"
    "e.g. net:SIOCGIFHWADDR EIO or socket EMFILE.\n\n"
    "The kernel's uevent socket (device 'uevent') takes socket, bind, recv,\n"
    "read and close, e.g. uevent:recv ENOBUFS. 'poll EIO' also wakes a program\n"
    "already waiting in a poll on a device or socket, which then fails.\n\n"
    "The gadget's LUN attributes (device 'luns') take open, read, write (a\n"
    "store) and close, e.g. luns:write EIO. The reader's own calls take\n"
    "'mknod' and 'unlink' (of the nodes under /tmp/lun*) and 'system'.\n\n"
    "The WAN modem's port (device 'ttyUSB0') takes open, read, write, close\n"
    "and 'reply' (its answer to one command line) with silent or split:N,\n"
    "e.g. ttyUSB0:read EIO, ttyUSB0:reply silent.\n\n"
    "The USB side (device 'usb') takes 'scsi' (any SCSI request a PC sends a\n"
    "volume), 'scsi_XX' (the exchanges of vendor command XX, hexadecimal) and\n"
    "'reply', 'reply_XX' (the data-in exchange that closes a vendor command);\n"
    "every pass-through request is one attempt and uses up one count.\n\n"
    "The past-log driver's control node (device 'melgrin') takes PASTLOG_FLUSH,\n"
    "PASTLOG_CHALLENGE, PASTLOG_COMPLEMENT and PASTLOG_CONFIRM (requests 1, 3,\n"
    "4, 5) with an errno, and the two answers also 'reject': a right answer is\n"
    "refused with EPERM. Its log node (device 'log_past') takes open, read\n"
    "(an errno, or 'short': half the entry comes), write and close, e.g.\n"
    "log_past:read EIO 1 --after 50 fails the 51st read.\n\n"
    "EFFECT is what happens:\n"
    "  ERRNO     the request fails with ERRNO (a number or a name such as EIO)\n"
    "            and changes nothing\n"
    "  short     a read or write moves half the bytes asked for\n"
    "  lost      a write reports every byte written and stores none\n"
    "  reject    PASTLOG_COMPLEMENT, PASTLOG_CONFIRM: a right answer is refused\n"
    "  corrupt   flash: a 16-byte write is stored with its first byte changed\n"
    "and for a SCSI request, which the reader then never sees unless 'short':\n"
    "  check     CHECK CONDITION\n"
    "  empty     the call succeeds and returns nothing\n"
    "  fail      the call fails with ERROR_IO_DEVICE (the same as EIO; other\n"
    "            errnos map to the Windows error closest to them)\n"
    "  short     half the data arrives (in), or reaches the reader (out)\n"
    "and for a reply (B is a byte in hexadecimal, EE or 0xEE; N a number):\n"
    "  silent    none comes (on USB: the call fails with ERROR_SEM_TIMEOUT)\n"
    "  split:N   it comes in N pieces (2 to 64), one a read (ttymxc1, ttyUSB0)\n"
    "  lead:B    its lead byte is B (ttymxc1, sub_cpu)\n"
    "  code:B    its code byte is B (ttymxc1, sub_cpu)\n"
    "  result:B  its first payload byte is B (on sub_cpu its status)\n"
    "  len:N     its length byte is N (ttymxc1: the frame is cut to it; sub_cpu)\n"
    "  sum:B     its checksum byte is B (sub_cpu)\n"
    "A fault is checked when it is set: one that the device it names (or, with\n"
    "no DEVICE, every device) could never fire is refused, saying what the\n"
    "device or the request takes. A reply code the device never answers is\n"
    "refused as well.\n"
    "When a run ends with an 'at' fault not reached or a counted fault with\n"
    "firings left, 'vreader run' says so on its standard error.\n"
    "Affected requests are journaled with \"injected\":true.\n\n"
    "  --list    print the faults still set, one '[DEVICE:]REQUEST EFFECT COUNT' a\n"
    "            line, with 'after N' while some are still to pass, and\n"
    "            'at N EFFECT' for a fault set with --at\n"
    "  --clear   remove every fault\n",
    run_fail,
};

}  // namespace vreader::cli
