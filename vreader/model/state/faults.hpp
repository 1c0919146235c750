// Injected faults (the faults file): a request, optionally scoped to one
// device node, what happens to it, how many more times (or always), and
// optionally how many such requests pass first. One fault a line:
//     MXCFB_SEND_UPDATE EIO 1
//     open ENODEV always
//     mmcblk2:read short 1
//     ttymxc1:read EIO 1 after 1
// and at most one fault on a request by its number in the next program run:
//     at 12 EIO
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vreader {

// What a fault does to the request it fires on.
enum class FaultKind {
    Error,  // the request fails with `error` and changes nothing
    Short,  // a read or write moves half the bytes asked for
    Lost,   // a write reports every byte written and stores none
    // A device's reply ("reply", or "reply_XX" for command XX) goes wrong:
    Silent,  // none is sent
    Split,   // it arrives in `value` pieces, one a read
    Lead,    // its lead byte is `value`
    Code,    // its code byte is `value`
    Len,     // its length byte is `value`
    Result,  // its result (first payload) byte is `value`
    Sum,     // its checksum byte is `value`
    // The sub-CPU's flash ("flash"):
    Corrupt,  // a 16-byte write is stored with its first byte changed
    // A SCSI request to the reader over USB ("scsi", or "scsi_XX" for
    // vendor command XX), before the reader sees it:
    Check,  // answered with CHECK CONDITION
    Empty,  // the pass-through call succeeds and returns nothing
    // The past-log driver's handshake answers (PASTLOG_COMPLEMENT,
    // PASTLOG_CONFIRM):
    Reject,  // a right answer is refused as wrong
};

// A set of effects, one bit a FaultKind: what a device's request can be
// made to do.
using FaultEffects = std::uint32_t;
constexpr FaultEffects effect_bit(FaultKind kind) { return FaultEffects{1} << static_cast<unsigned>(kind); }

struct Fault {
    std::string request;
    std::string device;  // a node's kernel name ("fb0", "mmcblk2"); empty: any
    FaultKind kind = FaultKind::Error;
    int error = 0;                // for FaultKind::Error
    std::uint32_t value = 0;      // for the reply effects that carry one
    std::uint32_t remaining = 1;  // ignored when `always`
    bool always = false;
    std::uint32_t skip = 0;  // requests let through before the first firing
    // Non-zero for a fault on the Nth request of the next run, whatever it
    // is (request "at", no device): the run's process takes it out of the
    // file when it starts and fires it itself (see Session).
    std::uint32_t at = 0;
};

// The request name an "at" fault is kept under.
inline constexpr std::string_view kAtRequest = "at";

// Whether an "at" fault can fire on `request`: any request a program makes
// of its own, not the replies, flash programming and SCSI exchanges that
// happen inside one; `short` only on a read or write.
bool at_fault_fits(const Fault& fault, std::string_view request);

// The effect of an "at" fault: "short" or an errno (a name or a number).
bool parse_at_effect(std::string_view text, Fault& out, std::string& why);

// A fault that fired: what it does.
struct FaultHit {
    bool fired = false;
    FaultKind kind = FaultKind::Error;
    int error = 0;  // the errno of an Error fault, else 0
    std::uint32_t value = 0;
};

// The names a fault can target: "open" (any device node), "close", "read",
// "write", "lseek", "fsync", "mmap", "fstat" (of any descriptor, files
// included), the sleeps, the requests the devices added (every display
// controller request, the past-log driver's), the serial
// ports' "tcgetattr" and "tcsetattr", the modem-line requests, "socket" and "SIOCGIFHWADDR" (device "net"), "socket",
// "bind" and "recv" of the uevent socket (device "uevent"), a device's replies ("reply", "reply_XX"), the sub-CPU's
// flash programming ("flash") and the SCSI requests a PC sends the reader over USB
// ("scsi", "scsi_XX").
const std::vector<std::string_view>& fault_requests();

// A request name a device adds to those (a display controller request, the
// past-log driver's), and whether 'reject' fits it (an answer in a
// handshake).
struct DeviceFaultRequest {
    std::string_view name;
    bool takes_reject = false;
};

// Adds a device's request names, listed after the nodes' requests; the
// device table adds every device's before a process reads a faults file. A
// process that adds none (the PC library's virtual build, which models the
// USB side alone) takes any name a device could add (capital letters,
// digits and '_') and leaves the check to the launcher that wrote it.
void add_fault_requests(std::span<const DeviceFaultRequest> requests);
bool is_fault_request(std::string_view name);

// "[DEVICE:]REQUEST" into its parts; false for an unknown request or a
// device name that is not a lower-case word with digits. The code of
// "reply_XX" and "scsi_XX" is hexadecimal in either case and comes out in
// capitals, the one spelling the devices look for.
bool parse_fault_target(std::string_view text, std::string& device, std::string& request);

// "short", "lost", a reply effect ("silent", "split:N", "lead:B", "code:B",
// "len:N", "result:B", "sum:B": B a byte in hexadecimal, with or without
// "0x"; N a decimal number, or hexadecimal after "0x"), "corrupt" (for "flash"),
// "check", "empty" or "fail" (for "scsi" and "scsi_XX"; "fail" is EIO),
// "reject" (for the past-log handshake's answers) or an
// errno (a name or a number); false with the reason when it does not fit
// the request.
bool parse_fault_effect(std::string_view text, std::string_view request, Fault& out, std::string& why);

bool parse_faults(std::string_view text, std::vector<Fault>& out, std::string& error);
std::string format_faults(const std::vector<Fault>& faults);

// The first fault on `request` that applies to `device` (an empty device: a
// request of no device node), the one consume_fault would use; nothing is
// used up.
const Fault* first_fault(const std::vector<Fault>& faults, std::string_view request, std::string_view device);

// Uses up one firing of that fault. Sets `changed` when the list must be
// written back.
FaultHit consume_fault(std::vector<Fault>& faults, std::string_view request, std::string_view device, bool& changed);

// Uses up one of the passes ("after N") of that fault, if it has any left,
// and never fires it: for a request that was made but takes no effect.
void pass_fault(std::vector<Fault>& faults, std::string_view request, std::string_view device, bool& changed);

// An effect as the faults file and the launcher name it: "EIO", "short",
// "split:3", "lead:EE" (a byte in two hexadecimal digits).
std::string effect_name(const Fault& fault);

// The effects in `effects` as a user names them: "an errno, short or lost".
std::string describe_effects(FaultEffects effects);

// The code of "reply_XX" or "scsi_XX" (a name parse_fault_target gave), or
// nothing for another name.
std::optional<std::uint8_t> fault_code(std::string_view request);

// Adds a fault, replacing any earlier one on the same request and device.
void set_fault(std::vector<Fault>& faults, Fault fault);

}  // namespace vreader
