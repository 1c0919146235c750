// The Linux library as an application loads it: its export table, the
// application lock across processes, and the real kernel's answer to SG_IO
// on nodes that are not SCSI devices.
#include "hostlib/include/fendrac.h"
#include "hostlib/os/host_device.hpp"
#include "hostlib/pass_through.hpp"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

TEST(LinuxLibrary, ExportsEveryNameOfTheDll)
{
    std::ifstream names(FENDRAC_EXPORTS);
    int count = 0;
    for (std::string name; std::getline(names, name);) {
        if (name.empty())
            continue;
        ++count;
        EXPECT_NE(::dlsym(RTLD_DEFAULT, name.c_str()), nullptr) << name;
    }
    EXPECT_EQ(count, 41);
    for (const char* name : {"FSVolumeGetDeviceInfoPath", "FSListReaderVolumes", "MSC_CreateMutexes"})
        EXPECT_NE(::dlsym(RTLD_DEFAULT, name), nullptr) << name;
}

TEST(LinuxLibrary, TheApplicationLockHeldByAnotherProcess)
{
    char pattern[] = "/tmp/fendrac-locks-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    ::setenv("FENDRAC_LOCK_DIR", pattern, 1);
    EXPECT_EQ(MSC_LockUSBDLL(), 0) << "no lock file: no mutex";
    EXPECT_EQ(MSC_checkAvailability(1), 0);
    ASSERT_EQ(MSC_CreateMutexes(), 1);
    ASSERT_EQ(MSC_CreateMutexes(), 1) << "existing lock files are kept";
    for (const char* file :
         {FENDRAC_MUTEX_STATE1_NAME ".lock", FENDRAC_MUTEX_STATE2_NAME ".lock", FENDRAC_MUTEX_STATE3_NAME ".lock"})
        EXPECT_TRUE(fs::is_regular_file(dir / file)) << file;

    // The other process takes STATE3, says so, and holds it until told.
    int taken[2], done[2];
    ASSERT_EQ(::pipe(taken), 0);
    ASSERT_EQ(::pipe(done), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open((dir / FENDRAC_MUTEX_STATE3_NAME ".lock").c_str(), O_RDONLY);
        char byte = fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
        (void)!::write(taken[1], &byte, 1);
        (void)!::read(done[0], &byte, 1);
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(taken[0], &byte, 1), 1);
    ASSERT_EQ(byte, 'y');
    EXPECT_EQ(MSC_LockUSBDLL(), 0);
    EXPECT_EQ(MSC_checkAvailability(1), 0);
    EXPECT_EQ(MSC_checkAvailability(48213), 1);
    ASSERT_EQ(::write(done[1], "x", 1), 1);
    ::waitpid(child, nullptr, 0);

    EXPECT_EQ(MSC_checkAvailability(1), 1);
    EXPECT_EQ(MSC_LockUSBDLL(), 1);
    EXPECT_EQ(MSC_UnlockUSBDLL(), 1);
    for (int fd : {taken[0], taken[1], done[0], done[1]})
        ::close(fd);
    fs::remove_all(dir);
    EXPECT_EQ(MSC_CreateMutexes(), 0) << "no lock directory";
    ::unsetenv("FENDRAC_LOCK_DIR");
}

TEST(LinuxLibrary, AVolumeWithoutPassThroughFailsCleanly)
{
    // The kernel refuses SG_IO on /dev/null: the open fails after its
    // retries (some seconds) and leaves nothing open.
    EXPECT_EQ(MSC_OpenDriveA("/dev/null"), 0);
    EXPECT_EQ(MSC_canConnect(), 0);
    VolumeIdentity identity{};
    EXPECT_EQ(FSVolumeGetDeviceInfoPath("/dev/null", &identity), 22);
    EXPECT_EQ(FSVolumeGetDeviceInfoPath("/nonexistent/sdz", &identity), 22);
    EXPECT_EQ(FSVolumeGetDeviceInfo('C', &identity), 22) << "no drive letters here";
}

TEST(LinuxLibrary, SgIoOnANodeThatIsNoScsiDeviceFailsAtOnce)
{
    char file[] = "/tmp/fendrac-node-XXXXXX";
    const int made = ::mkstemp(file);
    ASSERT_GE(made, 0);
    ::close(made);
    for (const char* node : {"/dev/null", static_cast<const char*>(file)}) {
        SCOPED_TRACE(node);
        const hostos::Handle volume = hostos::open_volume_ansi(node);
        ASSERT_TRUE(hostos::usable(volume));
        fendrac::PassThroughRecord in{};
        in.header.Length = 44;
        in.header.CdbLength = 10;
        in.header.SenseInfoLength = 32;
        in.header.DataIn = 1;
        in.header.DataTransferLength = 8;
        in.header.TimeOutValue = 10000;
        in.header.DataBufferOffset = 80;
        in.header.SenseInfoOffset = 48;
        in.header.Cdb[0] = 0x20;
        fendrac::PassThroughRecord out = in;
        std::uint32_t returned = 0;
        errno = 0;
        EXPECT_FALSE(
            hostos::device_io_control(volume, hostos::kIoctlScsiPassThrough, &in, 88, &out, sizeof out, returned));
        EXPECT_NE(errno, 0);
        EXPECT_EQ(returned, 0u);
        hostos::close_volume(volume);
    }
    ::unlink(file);
}

}  // namespace
