// A fault of the Bulk-Only Transport that the stand-in gadget injects once,
// into one vendor exchange picked by its command code, its phase code and
// its count among such exchanges, so a check can aim it at the opening,
// a continuing or the closing exchange of a file transfer. Portable, so the
// reading of a fault line and the picking of its exchange are tested
// natively.
//
// A fault line: KIND CODE PHASE NTH [UDC_FILE]
//   stall        the data phase's endpoint halts before any byte moves; the
//                status says failed
//   fail         the data phase moves every byte; the status says failed
//                (the host's automatic REQUEST SENSE follows: a medium error)
//   hardware     as fail, with a hardware error as the sense
//   short        half the data moves (a data-in ends in a halt), the status
//                says passed with the rest as residue
//   phase-error  nothing moves; the status says phase error (the host's
//                reset recovery follows)
//   wrong-tag    the command runs; its status carries another tag
//   silent       nothing moves and no status comes, until the host resets
//                the device (after its time-out)
//   unbind       the command runs; then the gadget unbinds itself from its
//                controller by writing an empty line to UDC_FILE
#pragma once

#include "tests/kernel/gadget/bot.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kbench {

enum class FaultKind : std::uint8_t { Stall, Fail, Hardware, Short, PhaseError, WrongTag, Silent, Unbind };

struct TransportFault {
    FaultKind kind = FaultKind::Stall;
    std::uint8_t code = 0;   // the vendor command (command block byte 2)
    std::uint8_t phase = 0;  // its phase code (byte 4): 1 opening, 3 continuing, 2 closing
    unsigned nth = 1;        // the nth exchange with that code and phase
    std::string udc_file;    // unbind: the gadget's UDC attribute
};

// The fault a line names, or nothing with the reason in `error`.
std::optional<TransportFault> parse_fault(std::string_view line, std::string& error);

// Counts the exchanges a fault aims at; true for the one it fires on.
class FaultAim {
public:
    explicit FaultAim(const TransportFault& fault) : fault_(fault) {}
    bool fires_on(const bot::Cbw& cbw);

private:
    TransportFault fault_;
    unsigned seen_ = 0;
};

}  // namespace kbench
