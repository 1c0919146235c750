// irtp_status: the touch-panel controller's status record, as eight
// labelled lines.
#include "irtp/irtp_link.hpp"
#include "platform/standard_output.hpp"

#include <cstdio>

namespace {

constexpr std::uint8_t ir_status_req[2] = {protocol::touch_panel::kStatus, 0x00};

unsigned le16(const std::uint8_t* p) { return p[0] | unsigned{p[1]} << 8; }

std::int32_t le32_signed(const std::uint8_t* p)
{
    return static_cast<std::int32_t>(p[0] | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
                                     std::uint32_t{p[3]} << 24);
}

}  // namespace

namespace {

int run()
{
    const sys::UniqueFd port = irtp::initialize();
    if (!port.valid()) {
        std::printf("NG");
        return 0;
    }
    const int fd = port.get();
    std::uint8_t r[irtp::kReplyBuffer];
    int status = 0;
    if (!irtp::read_reply(fd, {ir_status_req, 1, ir_status_req[0], 1, false}, r, status))
        return status;
    irtp::cts_off(fd);
    // The fields sit at fixed places whatever LEN says; bytes that did not
    // arrive are the cleared buffer's zeros.
    std::printf("version        : %u.%u.%u.%u\n", le16(r + 3), le16(r + 5), le16(r + 7), le16(r + 9));
    std::printf("active         : %d\n", r[11]);
    std::printf("ScanningCounter: %u\n", le16(r + 12));
    std::printf("Config         : %d\n", le32_signed(r + 14));
    std::printf("ScanningFreq   : pen=%d finger=%d idle=%d\n", r[20], r[19], r[18]);
    std::printf("Resolution     : %ux%u\n", le16(r + 21), le16(r + 23));
    std::printf("ActiveLeds     : start_x=%d end_x=%d start_y=%d end_y=%d\n", r[25], r[26], r[27], r[28]);
    std::printf("MaxArea        : %d %d\n", r[29], r[30]);
    return 0;
}

}  // namespace

int main() { return sys::with_standard_output(run(), 1); }
