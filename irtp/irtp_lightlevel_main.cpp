// irtp_lightlevel: light levels at a fixed pulse strength as one line of
// comma-separated decimal values.
#include "irtp/fixed_pulse.hpp"
#include "platform/standard_output.hpp"

#include <cstdio>

namespace {

int run(int argc, char** argv)
{
    std::uint8_t level = 0;
    irtp::AxisLists lists;
    int status = 0;
    const sys::UniqueFd port = irtp::measure_once(argc, argv, level, lists, status);
    if (!port.valid())
        return status;
    std::printf("fixed_light_level,%02X,X,", level);
    for (std::size_t i = 0; i < lists.x.count; ++i)
        std::printf("%d,", lists.x.values[i]);
    std::printf(",Y,");
    for (std::size_t i = 0; i < lists.y.count; ++i)
        std::printf("%d,", lists.y.values[i]);
    std::printf("\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return sys::with_standard_output(run(argc, argv), 1); }
