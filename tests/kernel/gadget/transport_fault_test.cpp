// The stand-in gadget's fault lines: what is refused, and the one exchange
// a fault fires on among the vendor exchanges of a file write.
#include "tests/kernel/gadget/transport_fault.hpp"

#include <gtest/gtest.h>

namespace kbench {
namespace {

TEST(TransportFault, LinesAreReadWholeOrRefused)
{
    std::string error;
    const auto unbind = parse_fault("unbind 130 3 2 /sys/kernel/config/usb_gadget/g2/UDC", error);
    ASSERT_TRUE(unbind) << error;
    EXPECT_EQ(unbind->kind, FaultKind::Unbind);
    EXPECT_EQ(unbind->code, 130);
    EXPECT_EQ(unbind->phase, 3);
    EXPECT_EQ(unbind->nth, 2u);
    EXPECT_EQ(unbind->udc_file, "/sys/kernel/config/usb_gadget/g2/UDC");
    for (const char* bad : {"", "stall", "stall 130 3", "jam 130 3 1", "stall 256 3 1", "stall 130 4 1",
                            "stall 130 0 1", "stall 130 3 0", "stall 130 3 x", "stall 130 3 1 /udc", "unbind 130 3 1",
                            "wrong-tag 129 2 1 extra words"}) {
        error.clear();
        EXPECT_FALSE(parse_fault(bad, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(TransportFault, FiresOnceOnTheNthExchangeOfItsCodeAndPhase)
{
    std::string error;
    FaultAim aim(*parse_fault("short 130 3 2", error));
    // A write of three pieces: request (1), status (3), pieces (3, 3, 2);
    // a disk READ (10) and another command's continuing exchange between.
    struct Exchange {
        std::uint8_t operation, code, phase;
        bool fires;
    };
    const Exchange exchanges[] = {{0x20, 130, 1, false}, {0x20, 130, 3, false}, {0x28, 130, 3, false},
                                  {0x20, 129, 3, false}, {0x20, 130, 3, true},  {0x20, 130, 3, false},
                                  {0x20, 130, 2, false}};
    int index = 0;
    for (const Exchange& e : exchanges) {
        bot::Cbw cbw;
        cbw.cb_length = 10;
        cbw.cb[0] = e.operation;
        cbw.cb[2] = e.code;
        cbw.cb[4] = e.phase;
        EXPECT_EQ(aim.fires_on(cbw), e.fires) << "exchange " << index++;
    }
}

}  // namespace
}  // namespace kbench
