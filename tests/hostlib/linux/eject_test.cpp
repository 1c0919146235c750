// The eject on Linux, whole: the library opens a reader volume on a sysfs
// and /dev tree of the test's own, with the kernel's SG_IO stood in for by
// a reader that answers every phase and a door that the disk node's open
// locks, as the kernel and the USB gadget do; MSC_EjectMedia refuses while a
// partition is mounted, and otherwise unlocks the door, sends START STOP
// UNIT and removes the device through its "delete" attribute.
#include "hostlib/include/fendrac.h"
#include "hostlib/os/linux_kernel.hpp"
#include "hostlib/os/linux_paths.hpp"
#include "tests/support/standard_input.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<std::vector<unsigned char>> g_commands;

// How the last START STOP UNIT reached the kernel.
struct Descriptor {
    int fd = -1;
    int status_flags = 0;
    int descriptor_flags = 0;
    unsigned timeout = 0;
};
Descriptor g_eject;

// The door of the reader's removable disk. The kernel's sd driver locks it
// (PREVENT MEDIUM REMOVAL) when the disk's node is opened while nobody
// holds it, so the scripted kernel locks it at the first request that finds
// the node open after a request that found it closed.
struct Door {
    fs::path disk_node;
    bool locked = false;
    bool was_open = false;
    bool none = false;   // no door: never locked, PREVENT ALLOW MEDIUM REMOVAL refused
    bool stuck = false;  // locked whatever is asked
};
Door g_door;

bool disk_node_open()
{
    std::error_code ec;
    for (const auto& fd : fs::directory_iterator("/proc/self/fd", ec))
        if (fs::read_symlink(fd.path(), ec) == g_door.disk_node)
            return true;
    return false;
}

// CHECK CONDITION with fixed-format sense data, as the kernel hands it back.
void check_condition(sg_io_hdr_t& request, unsigned char key, unsigned char asc, unsigned char ascq)
{
    request.status = 0x02;
    request.masked_status = 0x01;
    request.driver_status = 0x08;  // DRIVER_SENSE
    const unsigned char sense[18] = {0x70, 0, key, 0, 0, 0, 0, 10, 0, 0, 0, 0, asc, ascq};
    const auto length = std::min<unsigned>(request.mx_sb_len, sizeof sense);
    if (request.sbp != nullptr)
        std::copy(sense, sense + length, request.sbp);
    request.sb_len_wr = static_cast<unsigned char>(length);
}

}  // namespace

int hostos::kernel::sg_io(int fd, sg_io_hdr_t& request)
{
    g_commands.emplace_back(request.cmdp, request.cmdp + request.cmd_len);
    if (request.cmdp[0] == 0x1B)
        g_eject = {fd, ::fcntl(fd, F_GETFL) & (O_ACCMODE | O_NONBLOCK), ::fcntl(fd, F_GETFD), request.timeout};
    const bool open = disk_node_open();
    if (open && !g_door.was_open && !g_door.none)
        g_door.locked = true;
    g_door.was_open = open;
    // Every data-in phase gets its full length of zeros: an unlocked
    // reader that accepts each command. The door is the USB gadget's: a
    // PREVENT ALLOW MEDIUM REMOVAL sets or clears its lock, and an eject
    // while it is locked is refused (medium removal prevented).
    request.status = 0;
    request.masked_status = 0;
    request.driver_status = 0;
    request.sb_len_wr = 0;
    request.resid = 0;
    const unsigned char* cdb = request.cmdp;
    if (cdb[0] == 0x1E && g_door.none)
        check_condition(request, 0x05, 0x24, 0x00);
    else if (cdb[0] == 0x1E && !g_door.stuck)
        g_door.locked = (cdb[4] & 0x01) != 0;
    else if (cdb[0] == 0x1B && (cdb[4] & 0x03) == 0x02 && g_door.locked)
        check_condition(request, 0x05, 0x53, 0x02);
    return 0;
}

namespace {

void write(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

class LinuxEject : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/fendrac-eject-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        // A USB mass-storage reader: SCSI device 2:0:0:0 with disk sdb
        // and its partition sdb1.
        scsi_ = root_ / "sys/devices/pci0000:00/usb1/1-1/1-1:1.0/host2/target2:0:0/2:0:0:0";
        write(scsi_ / "delete", "");
        write(scsi_ / "block/sdb/dev", "8:16\n");
        write(scsi_ / "block/sdb/sdb1/dev", "8:17\n");
        write(scsi_ / "block/sdb/sdb1/partition", "1\n");
        fs::create_directories(root_ / "sys/block");
        fs::create_directories(root_ / "sys/class/block");
        fs::create_directory_symlink(scsi_ / "block/sdb", root_ / "sys/block/sdb");
        fs::create_directory_symlink(scsi_ / "block/sdb", root_ / "sys/class/block/sdb");
        fs::create_directory_symlink(scsi_ / "block/sdb/sdb1", root_ / "sys/class/block/sdb1");
        write(scsi_ / "scsi_generic/sg2/dev", "21:2\n");
        fs::create_directories(root_ / "sys/class/scsi_generic/sg2");
        fs::create_directory_symlink(scsi_, root_ / "sys/class/scsi_generic/sg2/device");
        write(root_ / "dev/sg2", "");
        write(root_ / "dev/sdb", "");
        write(root_ / "dev/sdb1", "");
        write(root_ / "mounts", "proc /proc proc rw 0 0\n");
        hostos::linux_paths::roots() = {(root_ / "sys").string(), (root_ / "mounts").string(), (root_ / "dev").string()};
        // The library reads it once, at its first message: so in every test.
        ::setenv("FENDRAC_DEBUG", "1", 1);
        g_commands.clear();
        g_door = {root_ / "dev/sdb"};
    }
    void TearDown() override
    {
        hostos::linux_paths::roots() = {};
        fs::remove_all(root_);
    }

    bool start_stop_sent() const
    {
        for (const auto& cdb : g_commands)
            if (cdb == std::vector<unsigned char>{0x1B, 0, 0, 0, 0x02, 0})
                return true;
        return false;
    }
    std::string deleted() const
    {
        std::ifstream file(scsi_ / "delete");
        return std::string(std::istreambuf_iterator<char>(file), {});
    }

    fs::path root_, scsi_;
};

TEST_F(LinuxEject, TheReaderIsEjectedAndRemovedFromItsDiskOrGenericNode)
{
    char list[64];
    ASSERT_EQ(FSListReaderVolumes(list, sizeof list), 0) << "zeros are no reader's INQUIRY";
    for (const char* node : {"dev/sdb", "dev/sg2"}) {
        SCOPED_TRACE(node);
        g_commands.clear();
        write(scsi_ / "delete", "");
        ASSERT_EQ(MSC_OpenDriveA((root_ / node).c_str()), 1);
        // The generic node's pass runs without standard input: the disk's
        // node and the removal are opened as descriptor 0, which serves.
        const bool without_input = std::string(node) == "dev/sg2";
        testing_support::StandardInputAside input;
        if (without_input)
            ::close(0);
        EXPECT_EQ(MSC_EjectMedia(), 1);
        input.restore();
        EXPECT_TRUE(start_stop_sent());
        EXPECT_EQ(deleted(), "1");
        EXPECT_EQ(g_eject.fd == 0, without_input);
        EXPECT_EQ(g_eject.status_flags, O_RDWR | O_NONBLOCK);
        EXPECT_EQ(g_eject.descriptor_flags, FD_CLOEXEC);
        EXPECT_EQ(g_eject.timeout, 10000u);
        MSC_CloseDrive();
    }
}

TEST_F(LinuxEject, AMountedPartitionRefusesItAndTheDriveIsReopened)
{
    write(root_ / "mounts", (root_ / "dev/sdb1").string() + " /media/reader vfat rw 0 0\n");
    ASSERT_EQ(MSC_OpenDriveA((root_ / "dev/sdb").c_str()), 1);
    g_commands.clear();
    EXPECT_EQ(MSC_EjectMedia(), 0);
    EXPECT_FALSE(start_stop_sent());
    EXPECT_EQ(deleted(), "");
    // Disconnect before, connect after: the drive is usable again.
    ASSERT_GE(g_commands.size(), 2u);
    EXPECT_EQ(g_commands.front()[2], 3);
    EXPECT_EQ(g_commands.back()[2], 3);
    EXPECT_EQ(MSC_canConnect(), 1);
    MSC_CloseDrive();
}

TEST_F(LinuxEject, NoRemovableDeviceAboveTheDiskFailsIt)
{
    fs::remove(scsi_ / "delete");
    ASSERT_EQ(MSC_OpenDriveA((root_ / "dev/sdb").c_str()), 1);
    EXPECT_EQ(MSC_EjectMedia(), 0);
    EXPECT_FALSE(start_stop_sent());
    MSC_CloseDrive();
}

// Each step that can go wrong fails the eject, and what comes after it is
// not done: no eject of a disk whose node does not open, no removal of a
// device whose medium stayed in. A refused unlock alone is no failure.
TEST_F(LinuxEject, AStepThatFailsEndsIt)
{
    const struct {
        const char* why;
        void (*setup)(const fs::path& root, const fs::path& scsi);
        int result;
        bool start_stop;
        const char* deleted;
        const char* said;  // with FENDRAC_DEBUG, where the step says why
    } cases[] = {
        {"no door to unlock", [](const fs::path&, const fs::path&) { g_door.none = true; }, 1, true, "1",
         "eject: PREVENT ALLOW MEDIUM REMOVAL failed on "},
        {"the door stays locked", [](const fs::path&, const fs::path&) { g_door.stuck = true; }, 0, true, "",
         "eject: START STOP UNIT failed on sdb"},
        {"the disk's node is gone", [](const fs::path& root, const fs::path&) { fs::remove(root / "dev/sdb"); }, 0,
         false, "", ""},
        {"no disk below the device",
         [](const fs::path&, const fs::path& scsi) { fs::rename(scsi / "block", scsi / "gone"); }, 0, false, "", ""},
        {"the removal cannot be written",
         [](const fs::path&, const fs::path& scsi) {
             fs::remove(scsi / "delete");
             fs::create_directory(scsi / "delete");
         },
         0, true, "", "eject: the removal of sdb failed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        if (&c != cases) {
            TearDown();
            SetUp();
        }
        ASSERT_EQ(MSC_OpenDriveA((root_ / "dev/sg2").c_str()), 1);
        c.setup(root_, scsi_);
        g_commands.clear();
        testing::internal::CaptureStderr();
        EXPECT_EQ(MSC_EjectMedia(), c.result);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
        EXPECT_EQ(start_stop_sent(), c.start_stop);
        EXPECT_EQ(fs::is_regular_file(scsi_ / "delete") ? deleted() : "", c.deleted);
        MSC_CloseDrive();
    }
}

}  // namespace
