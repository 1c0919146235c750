#include "vreader/model/faults.hpp"

#include "vreader/model/epdc_requests.hpp"
#include "vreader/model/errno_names.hpp"
#include "vreader/model/key_value.hpp"

#include <algorithm>
#include <sstream>

namespace vreader {
namespace {

bool is_transfer(std::string_view request) { return request == "read" || request == "write"; }

bool is_device_name(std::string_view name)
{
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    });
}

std::string_view effect_name(const Fault& fault)
{
    switch (fault.kind) {
    case FaultKind::Short:
        return "short";
    case FaultKind::Lost:
        return "lost";
    case FaultKind::Error:
        break;
    }
    return {};
}

}  // namespace

const std::vector<std::string_view>& fault_requests()
{
    static const std::vector<std::string_view> names = [] {
        std::vector<std::string_view> list = {"open", "close", "read",   "write",     "lseek", "fsync",
                                              "mmap", "fstat", "usleep", "nanosleep", "poll"};
        for (const auto& request : epdc::kRequests)
            list.push_back(request.name);
        return list;
    }();
    return names;
}

bool is_fault_request(std::string_view name)
{
    const auto& names = fault_requests();
    return std::find(names.begin(), names.end(), name) != names.end();
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
    return true;
}

bool parse_fault_effect(std::string_view text, std::string_view request, Fault& out, std::string& why)
{
    if (text == "short" || text == "lost") {
        const bool lost = text == "lost";
        if (lost ? request != "write" : !is_transfer(request)) {
            why = lost ? "'lost' applies to write only" : "'short' applies to read and write only";
            return false;
        }
        out.kind = lost ? FaultKind::Lost : FaultKind::Short;
        out.error = 0;
        return true;
    }
    const auto code = parse_errno(text);
    if (!code) {
        why = "the effect must be 'short', 'lost' or an errno (" + known_errno_names() + ")";
        return false;
    }
    out.kind = FaultKind::Error;
    out.error = *code;
    return true;
}

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
        words >> effect >> count_text;
        Fault fault;
        fault.always = count_text == "always";
        if (!fault.always)
            fault.remaining = static_cast<std::uint32_t>(parse_unsigned(count_text, UINT32_MAX).value_or(0));
        if (!parse_fault_target(target, fault.device, fault.request) ||
            !parse_fault_effect(effect, fault.request, fault, why) || (!fault.always && fault.remaining == 0) ||
            (words >> extra)) {
            error = "faults line " + std::to_string(line_number) + " is not '[DEVICE:]REQUEST EFFECT COUNT': " + line;
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
        const std::string_view effect = effect_name(fault);
        text += (fault.device.empty() ? "" : fault.device + ":") + fault.request + " " +
                (effect.empty() ? errno_name(fault.error) : std::string(effect)) + " " +
                (fault.always ? std::string("always") : std::to_string(fault.remaining)) + "\n";
    }
    return text;
}

FaultHit consume_fault(std::vector<Fault>& faults, std::string_view request, std::string_view device, bool& changed)
{
    for (auto it = faults.begin(); it != faults.end(); ++it) {
        if (it->request != request || (!it->device.empty() && it->device != device))
            continue;
        const FaultHit hit{true, it->kind, it->kind == FaultKind::Error ? it->error : 0};
        if (!it->always) {
            if (--it->remaining == 0)
                faults.erase(it);
            changed = true;
        }
        return hit;
    }
    return {};
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
