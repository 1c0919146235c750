// The media eject against a scripted device tree: each way it can end, the
// notices the reader gets, and the volume handle afterwards.
#include "hostlib/include/fendrac.h"
#include "hostlib/os/host_eject.hpp"
#include "hostlib/os/portable_control.hpp"
#include "tests/hostlib/scripted_device.hpp"
#include "tests/hostlib/scripted_tree.hpp"

#include <gtest/gtest.h>

#include <functional>

namespace {

using scripted::Exchange;

std::vector<std::uint8_t> connection_notices(std::size_t from)
{
    std::vector<std::uint8_t> values;
    for (std::size_t i = from; i < scripted::log().size(); ++i) {
        const Exchange& e = scripted::log()[i];
        if (e.code() == 3 && !e.data_in)
            values.push_back(e.data_out.at(0));
    }
    return values;
}

class Eject : public ::testing::Test {
protected:
    void SetUp() override
    {
        scripted::reset();
        hostos::portable::reset_clock();
    }
    void TearDown() override
    {
        while (MSC_canConnect())
            MSC_CloseDrive();
    }
};

TEST_F(Eject, EachWayTheEjectEndsTellsTheReaderWhatItMust)
{
    using Tree = scripted::Tree;
    struct Row {
        const char* name;
        std::function<void(Tree&)> change;
        int result;
        int locks;
        bool eject_requested;
    };
    const std::vector<Row> rows = {
        {"ejected", [](Tree&) {}, 1, 1, true},
        {"busy volume", [](Tree& t) { t.lock_works = false; }, 0, 1, false},
        {"no device number", [](Tree& t) { t.volume_number_works = false; }, 0, 1, false},
        {"no matching disk", [](Tree& t) { t.volume_device_number = 9; }, 0, 1, false},
        {"no disk list", [](Tree& t) { t.list_works = false; }, 0, 1, false},
        {"interface that does not open", [](Tree& t) { t.interfaces[1].opens = false; }, 0, 1, false},
        {"interface without a detail",
         [](Tree& t) {
             t.interfaces[0].detail_size_zero = true;
         },
         1, 1, true},
        {"no removable ancestor", [](Tree& t) { t.nodes[21].status = 0; }, 0, 1, false},
        {"vetoed", [](Tree& t) { t.eject = scripted::EjectAnswer::Veto; }, 0, 1, true},
        {"hangs past the limit", [](Tree& t) { t.eject_takes_ms = 60001; }, 0, 1, true},
        {"ends just within the limit", [](Tree& t) { t.eject_takes_ms = 60000; }, 1, 1, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        scripted::reset();
        Tree tree = scripted::usb_reader_tree();
        row.change(tree);
        scripted::set_tree(tree);
        ASSERT_EQ(MSC_OpenDriveW(L"\\\\.\\R:"), 1);
        const std::size_t before = scripted::log().size();
        EXPECT_EQ(MSC_EjectMedia(), row.result);

        const scripted::TreeLog& log = scripted::tree_log();
        EXPECT_EQ(log.locks, row.locks);
        EXPECT_EQ(log.eject_requests.size(), row.eject_requested ? 1u : 0u);
        if (row.eject_requested) {
            EXPECT_EQ(log.eject_requests.at(0), L"USB\\VID_1234&PID_5678\\0001");
        }
        EXPECT_EQ(log.heap_blocks, 0);
        EXPECT_EQ(log.interfaces_opened, log.interfaces_closed);
        EXPECT_EQ(log.lists_destroyed, tree.list_works && tree.lock_works && tree.volume_number_works ? 1 : 0);
        // The volume is always closed; a failed eject opens it again and
        // tells the reader the host is back.
        EXPECT_EQ(scripted::volumes_closed(), 1);
        EXPECT_EQ(scripted::volumes_opened(), row.result == 1 ? 1 : 2);
        EXPECT_EQ(connection_notices(before), row.result == 1 ? std::vector<std::uint8_t>{0}
                                                              : std::vector<std::uint8_t>({0, 1}));
        EXPECT_EQ(MSC_canConnect(), 1);
        MSC_CloseDrive();
    }
}

TEST_F(Eject, AfterAnEjectTheDriveHasNoHandleUntilItIsReopened)
{
    ASSERT_EQ(MSC_OpenDriveW(L"\\\\.\\R:"), 1);
    ASSERT_EQ(MSC_EjectMedia(), 1);
    const std::size_t before = scripted::log().size();
    EXPECT_EQ(MSC_UsbInitCheck(), -1);
    int size = 0;
    EXPECT_EQ(MSC_UsbFile_GetSize("a", &size), -2);
    EXPECT_EQ(scripted::log().size(), before);
    // A second eject finds no volume to lock, and reopens it.
    EXPECT_EQ(MSC_EjectMedia(), 0);
    EXPECT_EQ(MSC_UsbInitCheck(), 0);
    MSC_CloseDrive();
    EXPECT_EQ(MSC_EjectMedia(), 0);
}

TEST_F(Eject, ALockedReaderGetsNoNoticesButIsEjected)
{
    scripted::respond([](const Exchange& e) {
        scripted::Answer answer = scripted::good_reader(e);
        if (e.data_in && e.code() == 4)
            answer.data = scripted::word(-5);
        return answer;
    });
    ASSERT_EQ(MSC_OpenDriveW(L"\\\\.\\R:"), 1);
    const std::size_t before = scripted::log().size();
    EXPECT_EQ(MSC_EjectMedia(), 1);
    EXPECT_TRUE(connection_notices(before).empty());
    scripted::Tree tree = scripted::usb_reader_tree();
    tree.eject = scripted::EjectAnswer::Veto;
    MSC_CloseDrive();
    scripted::set_tree(tree);
    ASSERT_EQ(MSC_OpenDriveW(L"\\\\.\\R:"), 1);
    EXPECT_EQ(MSC_EjectMedia(), 0);
    EXPECT_TRUE(connection_notices(before).empty());
}

}  // namespace
