// The media eject against the virtual reader's device tree, as an
// application calls it: natively and, built for Windows, under Wine.
#include "tests/hostlib/exports_fixture.hpp"
#include "vreader/model/usb/pc_device_tree.hpp"

#include <gtest/gtest.h>

namespace {

using namespace exports_fixture;
using vreader::DeviceTree;

class EjectExports : public Exports {
protected:
    void SetUp() override
    {
        Exports::SetUp();
        tree({});
    }
    static void tree(const DeviceTree& t) { ASSERT_EQ(vreader::save_device_tree(dir_.string(), t), 0); }
    static DeviceTree tree()
    {
        DeviceTree t;
        std::string error;
        EXPECT_TRUE(vreader::load_device_tree(dir_.string(), t, error)) << error;
        return t;
    }
};

TEST_F(EjectExports, AnEjectedReaderIsGoneUntilItIsAttachedAgain)
{
    EXPECT_EQ(MSC_EjectMedia(), 0);
    ASSERT_EQ(MSC_OpenDriveW(built_in()), 1);
    ASSERT_TRUE(usb().connected);
    EXPECT_EQ(MSC_EjectMedia(), 1);
    EXPECT_FALSE(usb().connected);
    EXPECT_FALSE(tree().attached);
    EXPECT_EQ(tree().ejects, 1u);
    EXPECT_EQ(MSC_UsbInitCheck(), -1);
    MSC_CloseDrive();

    VolumeIdentity identity{};
    EXPECT_EQ(FSVolumeGetDeviceInfo('E', &identity), 22);
    DeviceTree attached = tree();
    attached.attached = true;
    tree(attached);
    EXPECT_EQ(FSVolumeGetDeviceInfo('E', &identity), 0);
    ASSERT_EQ(MSC_OpenDriveW(built_in()), 1);
    EXPECT_EQ(MSC_UsbInitCheck(), 0);
}

TEST_F(EjectExports, AFailedEjectReopensTheVolumeAndReconnects)
{
    struct Row {
        const char* name;
        DeviceTree tree;
    };
    std::vector<Row> rows = {{"busy volume", {}}, {"no removable node", {}}, {"vetoed", {}}, {"another disk", {}}};
    rows[0].tree.volume_busy = true;
    rows[1].tree.removable = false;
    rows[2].tree.eject = vreader::EjectAnswer::Veto;
    rows[3].tree.disk_number = 0;  // the number of the PC's own disk: that one is not removable
#if !defined(_WIN32)
    // The virtual clock lets a hung eject run out its 60 s at once.
    rows.push_back({"hangs", {}});
    rows.back().tree.eject = vreader::EjectAnswer::Hang;
#endif
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        tree(row.tree);
        ASSERT_EQ(MSC_OpenDriveW(built_in()), 1);
        EXPECT_EQ(MSC_EjectMedia(), 0);
        EXPECT_TRUE(usb().connected);
        EXPECT_TRUE(tree().attached);
        EXPECT_EQ(MSC_UsbInitCheck(), 0);
        MSC_CloseDrive();
    }
}

}  // namespace
