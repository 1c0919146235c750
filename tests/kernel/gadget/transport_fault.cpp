// Fault lines and the exchange a fault fires on (see transport_fault.hpp).
#include "tests/kernel/gadget/transport_fault.hpp"

#include <array>
#include <charconv>
#include <sstream>
#include <utility>

namespace kbench {
namespace {

constexpr std::uint8_t kVendorOperation = 0x20;

constexpr std::array<std::pair<std::string_view, FaultKind>, 8> kKinds{{
    {"stall", FaultKind::Stall},
    {"fail", FaultKind::Fail},
    {"hardware", FaultKind::Hardware},
    {"short", FaultKind::Short},
    {"phase-error", FaultKind::PhaseError},
    {"wrong-tag", FaultKind::WrongTag},
    {"silent", FaultKind::Silent},
    {"unbind", FaultKind::Unbind},
}};

bool number(const std::string& word, unsigned low, unsigned high, unsigned& value)
{
    const char* end = word.data() + word.size();
    const auto [stop, error] = std::from_chars(word.data(), end, value);
    return error == std::errc{} && stop == end && value >= low && value <= high;
}

}  // namespace

std::optional<TransportFault> parse_fault(std::string_view line, std::string& error)
{
    std::istringstream words{std::string(line)};
    std::string kind, code, phase, nth, udc_file, extra;
    words >> kind >> code >> phase >> nth >> udc_file >> extra;
    TransportFault fault;
    bool known = false;
    for (const auto& [name, value] : kKinds) {
        if (kind == name) {
            fault.kind = value;
            known = true;
        }
    }
    unsigned code_value = 0, phase_value = 0;
    if (!known) {
        error = "unknown fault '" + kind + "' (stall, fail, hardware, short, phase-error, wrong-tag, silent, unbind)";
    } else if (!number(code, 0, 255, code_value)) {
        error = "command code '" + code + "' is not 0 to 255";
    } else if (!number(phase, 1, 3, phase_value)) {
        error = "phase '" + phase + "' is not 1, 2 or 3";
    } else if (!number(nth, 1, 1000000, fault.nth)) {
        error = "count '" + nth + "' is not 1 or more";
    } else if ((fault.kind == FaultKind::Unbind) == udc_file.empty() || !extra.empty()) {
        error = fault.kind == FaultKind::Unbind ? "unbind needs the UDC file, and nothing after it"
                                                : "nothing follows the count but an unbind's UDC file";
    } else {
        fault.code = static_cast<std::uint8_t>(code_value);
        fault.phase = static_cast<std::uint8_t>(phase_value);
        fault.udc_file = udc_file;
        return fault;
    }
    return std::nullopt;
}

bool FaultAim::fires_on(const bot::Cbw& cbw)
{
    if (cbw.cb_length < 5 || cbw.cb[0] != kVendorOperation || cbw.cb[2] != fault_.code || cbw.cb[4] != fault_.phase)
        return false;
    return ++seen_ == fault_.nth;
}

}  // namespace kbench
