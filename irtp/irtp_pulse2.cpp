// irtp_pulse2: light levels at a fixed pulse strength, one measurement.
#include "irtp/fixed_pulse.hpp"
#include "platform/sys.hpp"

#include <cstdio>

int main(int argc, char** argv)
{
    std::uint8_t level = 0;
    if (argc != 2 || !irtp::parse_level(argv[1], level)) {
        std::printf("NG");
        return 0;
    }
    const int fd = irtp::open_for_measurement();
    if (fd < 0)
        return 0;
    irtp::AxisLists lists;
    int status = 0;
    if (!irtp::measure(fd, level, lists, status))
        return status;
    irtp::print_lists(lists);
    sys::close(fd);
    return 0;
}
