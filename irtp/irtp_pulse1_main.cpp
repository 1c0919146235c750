// irtp_pulse1: light levels at a fixed pulse strength, measured up to five
// times until every value reaches the threshold.
#include "irtp/fixed_pulse.hpp"
#include "platform/standard_output.hpp"

#include <cstdio>

namespace {

constexpr int kMeasurements = 5;

bool reaches(const irtp::AxisList& list, std::uint8_t threshold)
{
    for (std::size_t i = 0; i < list.count; ++i)
        if (list.values[i] < threshold)
            return false;
    return true;
}

}  // namespace

namespace {

int run(int argc, char** argv)
{
    std::uint8_t level = 0;
    std::uint8_t threshold = 0;
    if (argc != 3 || !irtp::parse_level(argv[1], level) || !irtp::parse_hex_byte(argv[2], threshold)) {
        std::printf("NG");
        return 0;
    }
    const sys::UniqueFd port = irtp::open_for_measurement();
    if (!port.valid())
        return 0;
    irtp::AxisLists lists;
    bool passed = false;
    for (int measurement = 0; measurement < kMeasurements && !passed; ++measurement) {
        int status = 0;
        if (!irtp::measure(port.get(), level, lists, status))
            return status;
        passed = reaches(lists.x, threshold) && reaches(lists.y, threshold);
    }
    std::printf("%s\n", passed ? "OK" : "NG");
    irtp::print_lists(lists);
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return sys::with_standard_output(run(argc, argv), 1); }
