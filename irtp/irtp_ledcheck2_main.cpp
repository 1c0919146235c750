// irtp_ledcheck2: the panel's LED check 0x1B, results printed without a
// verdict.
#include "irtp/axis_lists.hpp"
#include "platform/sys.hpp"
#include "platform/unique_fd.hpp"
#include "platform/standard_output.hpp"

#include <fcntl.h>

#include <cstdio>

namespace {

constexpr std::uint8_t ir_tp_led_chk_req[2] = {protocol::touch_panel::kLedCheck2, 0x00};

}  // namespace

namespace {

int run()
{
    const sys::UniqueFd port(sys::open(irtp::IR_DEVICE, O_RDWR | O_SYNC));
    if (!port.valid()) {
        std::printf("NG\n");
        return 0;
    }
    const int fd = port.get();
    irtp::setline(fd, CS8, B115200);
    irtp::cts_off(fd);
    if (irtp::send_active(fd) != 0) {
        std::printf("NG");
        return 0;
    }
    std::uint8_t reply[irtp::kReplyBuffer];
    int status = 0;
    if (!irtp::read_reply(fd, {ir_tp_led_chk_req, 1, ir_tp_led_chk_req[0], 0, false}, reply, status))
        return status;
    irtp::print_lists(irtp::split_led_reply(reply));
    return 0;
}

}  // namespace

int main() { return sys::with_standard_output(run(), 1); }
