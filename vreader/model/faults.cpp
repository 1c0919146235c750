#include "vreader/model/faults.hpp"

#include "vreader/model/epdc_requests.hpp"
#include "vreader/model/errno_names.hpp"
#include "vreader/model/key_value.hpp"

#include <algorithm>
#include <sstream>

namespace vreader {

const std::vector<std::string_view>& fault_requests()
{
    static const std::vector<std::string_view> names = [] {
        std::vector<std::string_view> list = {"open", "close", "read", "write", "mmap", "usleep", "nanosleep", "poll"};
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

bool parse_faults(std::string_view text, std::vector<Fault>& out, std::string& error)
{
    out.clear();
    std::istringstream lines{std::string(text)};
    size_t line_number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++line_number;
        std::istringstream words(line);
        std::string request, error_text, count_text, extra;
        if (!(words >> request) || request.front() == '#')
            continue;
        words >> error_text >> count_text;
        const auto code = parse_errno(error_text);
        Fault fault{request, code.value_or(0), 0, count_text == "always"};
        if (!fault.always)
            fault.remaining = static_cast<std::uint32_t>(parse_unsigned(count_text, UINT32_MAX).value_or(0));
        if (!is_fault_request(request) || !code || (!fault.always && fault.remaining == 0) || (words >> extra)) {
            error = "faults line " + std::to_string(line_number) + " is not 'REQUEST ERRNO COUNT': " + line;
            return false;
        }
        out.push_back(fault);
    }
    return true;
}

std::string format_faults(const std::vector<Fault>& faults)
{
    std::string text;
    for (const auto& fault : faults)
        text += fault.request + " " + errno_name(fault.error) + " " +
                (fault.always ? std::string("always") : std::to_string(fault.remaining)) + "\n";
    return text;
}

int consume_fault(std::vector<Fault>& faults, std::string_view request, bool& changed)
{
    for (auto it = faults.begin(); it != faults.end(); ++it) {
        if (it->request != request)
            continue;
        const int error = it->error;
        if (!it->always) {
            if (--it->remaining == 0)
                faults.erase(it);
            changed = true;
        }
        return error;
    }
    return 0;
}

void set_fault(std::vector<Fault>& faults, Fault fault)
{
    for (auto& existing : faults) {
        if (existing.request == fault.request) {
            existing = std::move(fault);
            return;
        }
    }
    faults.push_back(std::move(fault));
}

}  // namespace vreader
