// Injected faults (the faults file): a request name, the errno to fail it
// with, and how many more times, or always. One line per fault:
//     MXCFB_SEND_UPDATE EIO 1
//     open ENODEV always
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vreader {

struct Fault {
    std::string request;
    int error = 0;
    std::uint32_t remaining = 1;  // ignored when `always`
    bool always = false;
};

// The names a fault can target: "open" (any device node), "close", "read",
// "write", "mmap", the sleeps, and every controller request.
const std::vector<std::string_view>& fault_requests();
bool is_fault_request(std::string_view name);

bool parse_faults(std::string_view text, std::vector<Fault>& out, std::string& error);
std::string format_faults(const std::vector<Fault>& faults);

// Uses up one firing of the first fault on `request`. Returns the errno to
// fail with, or 0; sets `changed` when the list must be written back.
int consume_fault(std::vector<Fault>& faults, std::string_view request, bool& changed);

// Adds a fault, replacing any earlier one on the same request.
void set_fault(std::vector<Fault>& faults, Fault fault);

}  // namespace vreader
