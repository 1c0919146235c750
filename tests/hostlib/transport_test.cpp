// The pass-through record, the vendor command block, and how one phase is
// carried and retried.
#include "hostlib/include/fendrac.h"
#include "hostlib/os/portable_control.hpp"
#include "hostlib/usb_command.hpp"
#include "tests/hostlib/scripted_device.hpp"

#include <gtest/gtest.h>

#include <deque>

namespace {

using scripted::Answer;
using scripted::Exchange;

class Transport : public ::testing::Test {
protected:
    void SetUp() override
    {
        scripted::reset();
        hostos::portable::reset_clock();
        hostos::portable::clear_debug_lines();
    }
    void TearDown() override { MSC_CloseDrive(); }
};

TEST_F(Transport, TheProtocolVersionQueryCarriesTheWorkedRecord)
{
    ASSERT_EQ(MSC_OpenDriveW(L"\\\\.\\R:"), 1);
    const std::size_t before = scripted::log().size();
    unsigned char version[8] = {};
    ASSERT_EQ(MSC_UsbGetProtocolVer(1, version, sizeof version), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(version), 8), "01000010");

    ASSERT_EQ(scripted::log().size(), before + 1);
    const Exchange& e = scripted::log().back();
    EXPECT_EQ(e.in_size, 88u);
    EXPECT_EQ(e.out_size, 4176u);
    const std::array<std::uint8_t, 44> header = {
        44, 0, 0, 0, 1, 0, 10, 32, 1, 0, 0, 0,  // Length .. DataIn, padding
        8, 0, 0, 0,                              // DataTransferLength
        0x10, 0x27, 0, 0,                        // TimeOutValue 10000
        80, 0, 0, 0, 48, 0, 0, 0,                // data and sense offsets
        0x20, 0x00, 0x01, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(e.header, header);
}

// One phase against a sequence of driver answers, one per attempt.
struct Row {
    const char* name;
    bool data_in;
    std::vector<Answer> answers;  // the last one repeats
    std::size_t attempts;
    bool succeeds;
    std::vector<std::string> debug;
};

TEST_F(Transport, EachDriverOutcomeIsRetriedOrNotAsItMust)
{
    const Answer ok_in{true, 0, std::vector<std::uint8_t>(8, 0xAB), {}, {}};
    const Answer ok_out{};
    const Answer fails{false, 0, {}, {}, {}};
    const Answer check{true, 2, {}, 80, {}};
    const Answer check_nothing{true, 2, {}, 0, {}};
    const Answer nothing{true, 0, std::vector<std::uint8_t>(8, 0), 0, {}};
    const Answer took_five{true, 0, {}, {}, 5};
    const Answer check_kept_length{true, 2, {}, 80, 8};
    const std::vector<std::string> both = {"Transfer Error2 ", "Transfer Error3 "};
    const std::vector<Row> rows = {
        {"in, good", true, {ok_in}, 1, true, {}},
        {"in, the call fails for ever", true, {fails}, 10, false, both},
        {"in, the call fails three times", true, {fails, fails, fails, ok_in}, 4, true, {}},
        {"in, check condition", true, {check}, 1, false, both},
        {"in, nothing returned", true, {nothing}, 1, false, {"Transfer Error3 "}},
        {"out, good", false, {ok_out}, 1, true, {}},
        {"out, check condition for ever", false, {check}, 10, false, both},
        {"out, check condition with nothing returned", false, {check_nothing}, 1, false, both},
        {"out, check condition twice", false, {check, check, ok_out}, 3, true, {}},
        {"out, the call fails for ever", false, {fails}, 10, false, both},
        {"out, the reader takes 5 of 8 bytes", false, {took_five}, 1, false, {}},
        {"out, refused once, then 5 of 8 taken", false, {check, took_five}, 2, false, {}},
        {"out, check condition with the length left as asked", false, {check_kept_length}, 10, false, both},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        scripted::reset();
        hostos::portable::reset_clock();
        hostos::portable::clear_debug_lines();
        auto pending = std::make_shared<std::deque<Answer>>(row.answers.begin(), row.answers.end());
        scripted::respond([pending](const Exchange&) {
            const Answer answer = pending->front();
            if (pending->size() > 1)
                pending->pop_front();
            return answer;
        });
        fendrac::CUSBCommand command;
        command.device_handle = reinterpret_cast<hostos::Handle>(0x5000);
        command.command_code = 9;
        std::uint8_t buffer[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        const std::int32_t result =
            row.data_in ? fendrac::ReceivePhase(command, buffer, 8, nullptr, fendrac::kPhaseClosing)
                        : fendrac::SendPhase(command, buffer, 8, fendrac::kPhaseOpening);
        EXPECT_EQ(result == 0, row.succeeds);
        EXPECT_EQ(scripted::log().size(), row.attempts);
        EXPECT_EQ(hostos::portable::clock_ms(), 200 * (row.attempts - 1));
        EXPECT_EQ(hostos::portable::debug_lines(), row.debug);
    }
}

TEST_F(Transport, AShortDataInFailsButTellsWhatArrived)
{
    scripted::respond([](const Exchange&) { return Answer{true, 0, {9, 8, 7, 6}, {}, {}}; });
    fendrac::CUSBCommand command;
    command.device_handle = reinterpret_cast<hostos::Handle>(0x5000);
    std::uint8_t buffer[8] = {};
    std::uint32_t received = 0;
    EXPECT_NE(fendrac::ReceivePhase(command, buffer, 8, &received, fendrac::kPhaseClosing), 0);
    EXPECT_EQ(received, 4u);
    EXPECT_EQ(buffer[0], 9);

    // A phase of no bytes fails as well when the reader refuses it.
    scripted::respond([](const Exchange&) { return Answer{true, 2, {}, 80, {}}; });
    EXPECT_NE(fendrac::SendPhase(command, buffer, 0, fendrac::kPhaseOpening), 0);
    EXPECT_NE(fendrac::ReceivePhase(command, buffer, 0, nullptr, fendrac::kPhaseOpening), 0);

    // Without a handle nothing is sent and nothing arrives.
    scripted::reset();
    command.device_handle = nullptr;
    EXPECT_EQ(fendrac::SendPhase(command, buffer, 8, fendrac::kPhaseOpening), 8);
    EXPECT_NE(fendrac::SendPhase(command, buffer, 0, fendrac::kPhaseOpening), 0);
    EXPECT_EQ(fendrac::ReceivePhase(command, nullptr, 8, &received, fendrac::kPhaseClosing), -2);
    EXPECT_EQ(scripted::log().size(), 0u);
}

}  // namespace
