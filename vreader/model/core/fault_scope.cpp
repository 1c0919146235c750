#include "vreader/model/core/fault_scope.hpp"

#include "vreader/model/core/device_row.hpp"

#include <cstdio>
#include <optional>
#include <vector>

namespace vreader {
namespace {

// The requests a program's process journals of no node: a fault on them
// names no device.
constexpr FaultTake kProcessTakes[] = {
    {"fstat", kErrnoEffect},  {"usleep", kErrnoEffect}, {"nanosleep", kErrnoEffect}, {"poll", kErrnoEffect},
    {"socket", kErrnoEffect}, {"bind", kErrnoEffect},   {"recv", kErrnoEffect},      {"mknod", kErrnoEffect},
    {"unlink", kErrnoEffect}, {"system", kErrnoEffect},
};
constexpr FaultScope kProcessScope{"", kProcessTakes};

// "reply_XX" for "reply_1E", "scsi_XX" for "scsi_A0"; the name itself otherwise.
std::string_view generic_name(std::string_view request)
{
    if (!fault_code(request))
        return request;
    return request.starts_with("reply") ? "reply_XX" : "scsi_XX";
}

// The effects `scope` gives `request`, or nothing when it takes no such request.
std::optional<FaultEffects> scope_effects(const FaultScope& scope, std::string_view request)
{
    const auto code = fault_code(request);
    const bool answered = code && scope.answers != nullptr && scope.answers(*code);
    for (const FaultTake& take : scope.takes)
        if (take.request == request || (answered && take.request == generic_name(request)))
            return take.effects;
    for (const DeviceFaultRequest& driver : scope.driver_requests)
        if (driver.name == request)
            return kErrnoEffect | (driver.takes_reject ? effect_bit(FaultKind::Reject) : 0);
    return std::nullopt;
}

bool takes_name(const FaultScope& scope, std::string_view name)
{
    for (const FaultTake& take : scope.takes)
        if (take.request == name)
            return true;
    return false;
}

bool scope_is(const FaultScope& scope, const ReaderConfig& config, std::string_view device)
{
    return scope.is != nullptr ? scope.is(config, device) : device == scope.name;
}

// Every scope of every device, then the process's own requests.
std::vector<const FaultScope*> all_scopes()
{
    std::vector<const FaultScope*> scopes;
    for (const DeviceRow* row : devices())
        for (const FaultScope& scope : row->fault_scopes)
            scopes.push_back(&scope);
    scopes.push_back(&kProcessScope);
    return scopes;
}

// "00 01 03": the codes a scope answers.
std::string answered_codes(const FaultScope& scope)
{
    std::string text;
    for (unsigned code = 0; code <= 0xFF; ++code) {
        if (scope.answers == nullptr || !scope.answers(static_cast<std::uint8_t>(code)))
            continue;
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", code);
        text += (text.empty() ? "" : " ") + std::string(hex);
    }
    return text;
}

std::string join(const std::vector<std::string>& words)
{
    std::string text;
    for (std::size_t i = 0; i < words.size(); ++i)
        text += (i == 0 ? "" : i + 1 == words.size() ? " and " : ", ") + words[i];
    return text;
}

// What a scope takes, for a message: "open, close, read, reply and reply_XX
// (XX: 00 01 03)".
std::string scope_requests(const FaultScope& scope)
{
    std::vector<std::string> names;
    for (const FaultTake& take : scope.takes) {
        std::string name(take.request);
        if (take.request.ends_with("_XX"))
            name += " (XX: " + answered_codes(scope) + ")";
        names.push_back(name);
    }
    for (const DeviceFaultRequest& driver : scope.driver_requests)
        names.emplace_back(driver.name);
    return join(names);
}

std::string scoped_misfit(const ReaderConfig& config, const Fault& fault)
{
    const FaultScope* scope = nullptr;
    for (const FaultScope* candidate : all_scopes())
        if (candidate != &kProcessScope && scope_is(*candidate, config, fault.device))
            scope = candidate;
    if (scope == nullptr)
        return "this reader has no device '" + fault.device + "'; its devices are " + fault_scope_names(config);
    const auto effects = scope_effects(*scope, fault.request);
    if (!effects) {
        const std::string_view generic = generic_name(fault.request);
        if (generic != fault.request && takes_name(*scope, generic))
            return fault.device + " answers no command " + fault.request.substr(fault.request.size() - 2) + ": its " +
                   std::string(generic) + " has XX " + answered_codes(*scope);
        return fault.device + " takes no " + fault.request + "; it takes " + scope_requests(*scope);
    }
    if ((*effects & effect_bit(fault.kind)) == 0)
        return fault.device + ":" + fault.request + " takes " + describe_effects(*effects);
    return {};
}

// A fault on any device: some node, or the process, takes the request
// with that effect.
std::string unscoped_misfit(const Fault& fault)
{
    FaultEffects any = 0;
    bool taken = false;
    std::vector<std::string> answering;
    for (const FaultScope* scope : all_scopes()) {
        if (const auto effects = scope_effects(*scope, fault.request)) {
            taken = true;
            any |= *effects;
        }
        if (scope->answers != nullptr && takes_name(*scope, generic_name(fault.request)))
            answering.push_back(std::string(scope->name) + " answers " + answered_codes(*scope));
    }
    if (!taken && fault_code(fault.request))
        return "no device answers command " + fault.request.substr(fault.request.size() - 2) + ": " + join(answering);
    if (!taken)
        return "no device takes " + fault.request;
    if ((any & effect_bit(fault.kind)) == 0)
        return fault.request + " takes " + describe_effects(any);
    return {};
}

}  // namespace

std::string fault_misfit(const ReaderConfig& config, const Fault& fault)
{
    return fault.device.empty() ? unscoped_misfit(fault) : scoped_misfit(config, fault);
}

std::string fault_scope_names(const ReaderConfig& config)
{
    std::vector<std::string> names;
    for (const FaultScope* scope : all_scopes()) {
        if (scope == &kProcessScope)
            continue;
        std::string name = scope->shown != nullptr ? scope->shown(config) : std::string(scope->name);
        if (!name.empty())
            names.push_back(std::move(name));
    }
    return join(names);
}

}  // namespace vreader
