#include "irtp/fixed_pulse.hpp"

#include "platform/sys.hpp"

#include <fcntl.h>

#include <cstdio>

namespace irtp {
namespace {

struct PulseRequest {
    std::uint8_t bytes[2];
};

// fixed_pulse_strength_req_01 ... fixed_pulse_strength_req_5F: the code and
// the level, for each level whose low digit is 1 to F.
constexpr auto fixed_pulse_strength_req = [] {
    std::array<PulseRequest, 90> table{};
    std::size_t i = 0;
    for (unsigned row = 0; row < 6; ++row)
        for (unsigned digit = 1; digit < 16; ++digit)
            table[i++] = {{kFixedPulseCode, static_cast<std::uint8_t>(row << 4 | digit)}};
    return table;
}();

const PulseRequest* find_request(std::uint8_t level)
{
    for (const auto& request : fixed_pulse_strength_req)
        if (request.bytes[1] == level)
            return &request;
    return nullptr;
}

}  // namespace

sys::UniqueFd open_for_measurement()
{
    sys::UniqueFd port(sys::open(IR_DEVICE, O_RDWR | O_SYNC));
    if (!port.valid()) {
        std::printf("NG");
        return port;
    }
    setline(port.get(), CS8, B115200);
    cts_off(port.get());
    if (send_active(port.get()) != 0) {
        std::printf("NG");
        return {};
    }
    return port;
}

bool measure(int fd, std::uint8_t level, AxisLists& lists, int& exit_status)
{
    const PulseRequest* request = find_request(level);
    std::uint8_t reply[kReplyBuffer];
    if (!read_reply(fd, {request->bytes, sizeof request->bytes, kFixedPulseCode, 1, false}, reply, exit_status))
        return false;
    lists = split_pulse_reply(reply);
    return true;
}

sys::UniqueFd measure_once(int argc, char** argv, std::uint8_t& level, AxisLists& lists, int& exit_status)
{
    exit_status = 0;
    if (argc != 2 || !parse_level(argv[1], level)) {
        std::printf("NG");
        return {};
    }
    sys::UniqueFd port = open_for_measurement();
    if (!port.valid() || !measure(port.get(), level, lists, exit_status))
        return {};
    return port;
}

bool parse_level(const char* text, std::uint8_t& level)
{
    // A level without a request would be waited for in vain.
    return parse_hex_byte(text, level) && level != 0 && find_request(level) != nullptr;
}

}  // namespace irtp
