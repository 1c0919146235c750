// irtp_pulse2: light levels at a fixed pulse strength, one measurement.
#include "irtp/fixed_pulse.hpp"
#include "platform/standard_output.hpp"

namespace {

int run(int argc, char** argv)
{
    std::uint8_t level = 0;
    irtp::AxisLists lists;
    int status = 0;
    const sys::UniqueFd port = irtp::measure_once(argc, argv, level, lists, status);
    if (!port.valid())
        return status;
    irtp::print_lists(lists);
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return sys::with_standard_output(run(argc, argv), 1); }
