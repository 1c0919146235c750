// irtp_ledcheck1: the panel's LED check 0x0E, each result judged on its low
// four bits against the threshold.
#include "irtp/axis_lists.hpp"
#include "platform/sys.hpp"
#include "platform/unique_fd.hpp"
#include "platform/standard_output.hpp"

#include <fcntl.h>

#include <cstdio>

namespace {

constexpr std::uint8_t ir_tp_led_chk_req[2] = {protocol::touch_panel::kLedCheck1, 0x00};
constexpr useconds_t kAfterActiveUs = 200000;

bool within(const irtp::AxisList& list, std::uint8_t threshold)
{
    for (std::size_t i = 0; i < list.count; ++i)
        if ((list.values[i] & 0x0F) > threshold)
            return false;
    return true;
}

}  // namespace

namespace {

int run(int argc, char** argv)
{
    std::uint8_t threshold = 0;
    if (argc != 2 || !irtp::parse_hex_digit(argv[1], threshold) || threshold == 0) {
        std::printf("NG");
        return 0;
    }
    const sys::UniqueFd port(sys::open(irtp::IR_DEVICE, O_RDWR | O_SYNC));
    if (!port.valid()) {
        std::printf("NG");
        return 0;
    }
    const int fd = port.get();
    irtp::setline(fd, CS8, B115200);
    irtp::cts_off(fd);
    if (irtp::send_active(fd) != 0) {
        std::printf("NG");
        std::printf("active error\n");
        return 0;
    }
    sys::usleep(kAfterActiveUs);
    std::uint8_t reply[irtp::kReplyBuffer];
    int status = 0;
    if (!irtp::read_reply(fd, {ir_tp_led_chk_req, 1, ir_tp_led_chk_req[0], 1, true}, reply, status))
        return status;
    irtp::cts_off(fd);
    const irtp::AxisLists lists = irtp::split_led_reply(reply);
    std::printf("%s\n", within(lists.x, threshold) && within(lists.y, threshold) ? "OK" : "NG");
    irtp::print_lists(lists);
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return sys::with_standard_output(run(argc, argv), 1); }
