#include "vreader/model/state/faults.hpp"

#include "vreader/model/state/errno_names.hpp"
#include "vreader/model/state/key_value.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <sstream>

namespace vreader {
namespace {

bool is_transfer(std::string_view request) { return request == "read" || request == "write"; }

bool is_hex_digit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

// "reply", or "reply_XX" for the replies to command XX.
bool is_reply(std::string_view request)
{
    return request == "reply" || (request.size() == 8 && request.starts_with("reply_") && is_hex_digit(request[6]) &&
                                  is_hex_digit(request[7]));
}

// "scsi", or "scsi_XX" for the exchanges of vendor command XX.
bool is_scsi(std::string_view request)
{
    return request == "scsi" || (request.size() == 7 && request.starts_with("scsi_") && is_hex_digit(request[5]) &&
                                 is_hex_digit(request[6]));
}

// Hexadecimal digits, already checked, as a number.
std::uint8_t hex_byte(std::string_view digits)
{
    unsigned value = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    return static_cast<std::uint8_t>(value);
}

// A reply effect's value is a count (split:N, len:N), decimal as counts
// are everywhere, or a byte of the frame (lead:B ...), hexadecimal as the
// codes of reply_XX are: "EE" and "0xEE" are the same byte.
enum class EffectValue { None, Count, Byte };

struct ReplyEffect {
    std::string_view name;
    FaultKind kind;
    EffectValue value;
    std::uint64_t min = 0, max = 255;
};

constexpr ReplyEffect kReplyEffects[] = {
    {"silent", FaultKind::Silent, EffectValue::None}, {"split", FaultKind::Split, EffectValue::Count, 2, 64},
    {"lead", FaultKind::Lead, EffectValue::Byte},     {"code", FaultKind::Code, EffectValue::Byte},
    {"len", FaultKind::Len, EffectValue::Count},      {"result", FaultKind::Result, EffectValue::Byte},
    {"sum", FaultKind::Sum, EffectValue::Byte},
};

// The value after "NAME:", in the effect's one notation.
std::optional<std::uint64_t> parse_effect_value(const ReplyEffect& effect, std::string_view text)
{
    if (effect.value == EffectValue::Count) {
        const auto count = parse_unsigned(text, effect.max);
        return count && *count >= effect.min ? count : std::nullopt;
    }
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    if (text.empty() || text.size() > 2 || !std::all_of(text.begin(), text.end(), is_hex_digit))
        return std::nullopt;
    return hex_byte(text);
}

std::string value_syntax(const ReplyEffect& effect)
{
    if (effect.value == EffectValue::Count)
        return "'" + std::string(effect.name) + "' takes :N, " + std::to_string(effect.min) + " to " +
               std::to_string(effect.max);
    return "'" + std::string(effect.name) + "' takes :B, a byte in hexadecimal (EE or 0xEE)";
}

// The names of the effects, in the order FaultKind lists them; errno
// faults show as their errno.
constexpr std::string_view kEffectNames[] = {
    "an errno", "short",    "lost",  "silent",  "split:N", "lead:B", "code:B",
    "len:N",    "result:B", "sum:B", "corrupt", "check",   "empty",  "reject",
};
static_assert(std::size(kEffectNames) == static_cast<std::size_t>(FaultKind::Reject) + 1);

bool is_device_name(std::string_view name)
{
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    });
}

// The names devices added, in the order they were added.
std::vector<DeviceFaultRequest>& device_requests()
{
    static std::vector<DeviceFaultRequest> requests;
    return requests;
}

// A name a device could add: a kernel request's, capital letters, digits and '_'.
bool looks_like_device_request(std::string_view name)
{
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    });
}

const DeviceFaultRequest* find_device_request(std::string_view name)
{
    for (const DeviceFaultRequest& request : device_requests())
        if (request.name == name)
            return &request;
    return nullptr;
}

// Whether 'reject' fits `request`: a device said so, or, in a process that
// knows no device, it could be such a request.
bool takes_reject(std::string_view request)
{
    if (const DeviceFaultRequest* known = find_device_request(request))
        return known->takes_reject;
    return device_requests().empty() && looks_like_device_request(request);
}

std::string reject_requests()
{
    std::string text;
    for (const DeviceFaultRequest& request : device_requests()) {
        if (!request.takes_reject)
            continue;
        if (!text.empty())
            text += " and ";
        text += request.name;
    }
    return text;
}

// The request names every process knows: those of any node or descriptor,
// and those of the serial lines, sockets, the reader's own calls, a
// device's replies, the sub-CPU's flash and the SCSI exchanges.
constexpr std::string_view kNodeRequests[] = {"open", "close", "read",   "write",     "lseek", "fsync",
                                              "mmap", "fstat", "usleep", "nanosleep", "poll"};
constexpr std::string_view kSharedRequests[] = {
    "tcgetattr", "tcsetattr", "TIOCMGET", "TIOCMBIS", "TIOCMBIC", "socket", "SIOCGIFHWADDR", "bind",   "recv",
    "mknod",     "unlink",    "system",   "reply",    "reply_XX", "flash",  "scsi",          "scsi_XX"};

// Those of the nodes, the devices' own, then the shared ones.
std::vector<std::string_view> list_requests()
{
    std::vector<std::string_view> names(std::begin(kNodeRequests), std::end(kNodeRequests));
    for (const DeviceFaultRequest& request : device_requests())
        names.push_back(request.name);
    names.insert(names.end(), std::begin(kSharedRequests), std::end(kSharedRequests));
    return names;
}

std::vector<std::string_view>& request_list()
{
    static std::vector<std::string_view> names = list_requests();
    return names;
}

}  // namespace

void add_fault_requests(std::span<const DeviceFaultRequest> requests)
{
    for (const DeviceFaultRequest& request : requests)
        if (find_device_request(request.name) == nullptr)
            device_requests().push_back(request);
    request_list() = list_requests();
}

std::string effect_name(const Fault& fault)
{
    if (fault.kind == FaultKind::Short)
        return "short";
    if (fault.kind == FaultKind::Lost)
        return "lost";
    if (fault.kind == FaultKind::Corrupt)
        return "corrupt";
    if (fault.kind == FaultKind::Check)
        return "check";
    if (fault.kind == FaultKind::Empty)
        return "empty";
    if (fault.kind == FaultKind::Reject)
        return "reject";
    for (const auto& effect : kReplyEffects) {
        if (effect.kind != fault.kind)
            continue;
        if (effect.value == EffectValue::None)
            return std::string(effect.name);
        char value[16];
        std::snprintf(value, sizeof value, effect.value == EffectValue::Byte ? "%02X" : "%u",
                      static_cast<unsigned>(fault.value));
        return std::string(effect.name) + ":" + value;
    }
    return errno_name(fault.error);
}

std::string describe_effects(FaultEffects effects)
{
    std::vector<std::string_view> names;
    for (std::size_t kind = 0; kind < std::size(kEffectNames); ++kind) {
        if ((effects & effect_bit(static_cast<FaultKind>(kind))) == 0)
            continue;
        names.push_back(kEffectNames[kind]);
        // A SCSI request's errno has a name of its own.
        if (static_cast<FaultKind>(kind) == FaultKind::Error && (effects & effect_bit(FaultKind::Check)) != 0)
            names.push_back("fail");
    }
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + std::string(names[i]);
    return text.empty() ? "nothing" : text;
}

std::optional<std::uint8_t> fault_code(std::string_view request)
{
    if ((!is_reply(request) && !is_scsi(request)) || request.find('_') == std::string_view::npos)
        return std::nullopt;
    return hex_byte(request.substr(request.size() - 2));
}

const std::vector<std::string_view>& fault_requests() { return request_list(); }

bool is_fault_request(std::string_view name)
{
    const auto& names = fault_requests();
    return is_reply(name) || is_scsi(name) ||
           (name != "reply_XX" && name != "scsi_XX" && std::find(names.begin(), names.end(), name) != names.end()) ||
           (device_requests().empty() && looks_like_device_request(name));
}

bool parse_fault_target(std::string_view text, std::string& device, std::string& request)
{
    const auto colon = text.find(':');
    const std::string_view scope = colon == std::string_view::npos ? std::string_view{} : text.substr(0, colon);
    const std::string_view name = colon == std::string_view::npos ? text : text.substr(colon + 1);
    if (!is_fault_request(name) || (colon != std::string_view::npos && !is_device_name(scope)))
        return false;
    device = std::string(scope);
    request = std::string(name);
    if (request.find('_') != std::string::npos && (is_reply(request) || is_scsi(request)))
        std::transform(request.end() - 2, request.end(), request.end() - 2,
                       [](char c) { return c >= 'a' && c <= 'f' ? static_cast<char>(c - 'a' + 'A') : c; });
    return true;
}

bool parse_fault_effect(std::string_view text, std::string_view request, Fault& out, std::string& why)
{
    const auto colon = text.find(':');
    const std::string_view name = text.substr(0, colon);
    for (const auto& effect : kReplyEffects) {
        if (name != effect.name)
            continue;
        if (!is_reply(request)) {
            why = "'" + std::string(name) + "' applies to reply and reply_XX only";
            return false;
        }
        const bool has_value = colon != std::string_view::npos;
        std::optional<std::uint64_t> value;
        if (has_value)
            value = parse_effect_value(effect, text.substr(colon + 1));
        if (effect.value == EffectValue::None ? has_value : !value) {
            why = effect.value == EffectValue::None ? "'silent' takes no value" : value_syntax(effect);
            return false;
        }
        out.kind = effect.kind;
        out.value = static_cast<std::uint32_t>(value.value_or(0));
        out.error = 0;
        return true;
    }
    if (text == "corrupt" || request == "flash") {
        if (text != "corrupt" || request != "flash") {
            why = "'flash' takes 'corrupt', and only 'flash' does";
            return false;
        }
        out.kind = FaultKind::Corrupt;
        out.error = 0;
        return true;
    }
    if (text == "check" || text == "empty" || text == "fail") {
        if (!is_scsi(request)) {
            why = "'" + std::string(text) + "' applies to scsi and scsi_XX only";
            return false;
        }
        out.kind = text == "check" ? FaultKind::Check : text == "empty" ? FaultKind::Empty : FaultKind::Error;
        out.error = text == "fail" ? EIO : 0;
        return true;
    }
    if (text == "reject") {
        if (!takes_reject(request)) {
            why = "'reject' applies to " + reject_requests() + " only";
            return false;
        }
        out.kind = FaultKind::Reject;
        out.error = 0;
        return true;
    }
    if (text == "short" || text == "lost") {
        const bool lost = text == "lost";
        if (lost ? request != "write" : !is_transfer(request) && !is_scsi(request)) {
            why = lost ? "'lost' applies to write only" : "'short' applies to read, write, scsi and scsi_XX only";
            return false;
        }
        out.kind = lost ? FaultKind::Lost : FaultKind::Short;
        out.error = 0;
        return true;
    }
    const auto code = parse_errno(text);
    if (!code || is_reply(request)) {
        why = is_reply(request) ? "a reply takes silent, split:N, lead:B, code:B, len:N, result:B or sum:B"
              : is_scsi(request)
                  ? "a SCSI request takes check, empty, short, fail or an errno (" + known_errno_names() + ")"
                  : "the effect must be 'short', 'lost' or an errno (" + known_errno_names() + ")";
        return false;
    }
    out.kind = FaultKind::Error;
    out.error = *code;
    return true;
}

bool at_fault_fits(const Fault& fault, std::string_view request)
{
    if (is_reply(request) || is_scsi(request) || request == "flash")
        return false;
    return fault.kind != FaultKind::Short || is_transfer(request);
}

bool parse_at_effect(std::string_view text, Fault& out, std::string& why)
{
    out.error = 0;
    if (text == "short") {
        out.kind = FaultKind::Short;
        return true;
    }
    const auto code = parse_errno(text);
    if (!code || *code == 0) {
        why = "the effect must be 'short' or an errno (" + known_errno_names() + ")";
        return false;
    }
    out.kind = FaultKind::Error;
    out.error = *code;
    return true;
}

namespace {

// "at N EFFECT", the rest of the line after "at".
bool parse_at_line(std::istringstream& words, Fault& fault)
{
    std::string number, effect, extra, why;
    words >> number >> effect;
    const auto at = parse_unsigned(number, UINT32_MAX);
    if (!at || *at == 0 || !parse_at_effect(effect, fault, why) || (words >> extra))
        return false;
    fault.request = std::string(kAtRequest);
    fault.at = static_cast<std::uint32_t>(*at);
    return true;
}

}  // namespace

bool parse_faults(std::string_view text, std::vector<Fault>& out, std::string& error)
{
    out.clear();
    std::istringstream lines{std::string(text)};
    size_t line_number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++line_number;
        std::istringstream words(line);
        std::string target, effect, count_text, extra, why;
        if (!(words >> target) || target.front() == '#')
            continue;
        Fault fault;
        if (target == kAtRequest) {
            if (!parse_at_line(words, fault)) {
                error = "faults line " + std::to_string(line_number) + " is not 'at N EFFECT': " + line;
                return false;
            }
            out.push_back(fault);
            continue;
        }
        words >> effect >> count_text;
        fault.always = count_text == "always";
        if (!fault.always)
            fault.remaining = static_cast<std::uint32_t>(parse_unsigned(count_text, UINT32_MAX).value_or(0));
        bool skip_ok = true;
        if (std::string after, skip_text; words >> after) {
            words >> skip_text;
            const auto skip = parse_unsigned(skip_text, UINT32_MAX);
            skip_ok = after == "after" && skip.has_value();
            fault.skip = static_cast<std::uint32_t>(skip.value_or(0));
        }
        if (!parse_fault_target(target, fault.device, fault.request) ||
            !parse_fault_effect(effect, fault.request, fault, why) || (!fault.always && fault.remaining == 0) ||
            !skip_ok || (words >> extra)) {
            error = "faults line " + std::to_string(line_number) +
                    " is not '[DEVICE:]REQUEST EFFECT COUNT [after N]': " + line;
            return false;
        }
        out.push_back(fault);
    }
    return true;
}

std::string format_faults(const std::vector<Fault>& faults)
{
    std::string text;
    for (const auto& fault : faults) {
        if (fault.at != 0) {
            text += std::string(kAtRequest) + " " + std::to_string(fault.at) + " " + effect_name(fault) + "\n";
            continue;
        }
        text += (fault.device.empty() ? "" : fault.device + ":") + fault.request + " " + effect_name(fault) + " " +
                (fault.always ? std::string("always") : std::to_string(fault.remaining)) +
                (fault.skip != 0 ? " after " + std::to_string(fault.skip) : "") + "\n";
    }
    return text;
}

const Fault* first_fault(const std::vector<Fault>& faults, std::string_view request, std::string_view device)
{
    for (const Fault& fault : faults)
        if (fault.request == request && (fault.device.empty() || fault.device == device))
            return &fault;
    return nullptr;
}

FaultHit consume_fault(std::vector<Fault>& faults, std::string_view request, std::string_view device, bool& changed)
{
    if (const Fault* found = first_fault(faults, request, device)) {
        const auto it = faults.begin() + (found - faults.data());
        if (it->skip != 0) {
            --it->skip;
            changed = true;
            return {};
        }
        const FaultHit hit{true, it->kind, it->kind == FaultKind::Error ? it->error : 0, it->value};
        if (!it->always) {
            if (--it->remaining == 0)
                faults.erase(it);
            changed = true;
        }
        return hit;
    }
    return {};
}

void pass_fault(std::vector<Fault>& faults, std::string_view request, std::string_view device, bool& changed)
{
    const Fault* found = first_fault(faults, request, device);
    if (found == nullptr || found->skip == 0)
        return;
    --faults[static_cast<std::size_t>(found - faults.data())].skip;
    changed = true;
}

void set_fault(std::vector<Fault>& faults, Fault fault)
{
    for (auto& existing : faults) {
        if (existing.request == fault.request && existing.device == fault.device) {
            existing = std::move(fault);
            return;
        }
    }
    faults.push_back(std::move(fault));
}

}  // namespace vreader
