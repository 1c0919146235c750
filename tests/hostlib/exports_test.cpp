// Every export of the drive, volume and information families against the
// virtual reader's USB side, as an application calls them. The same test
// runs natively and, built for Windows, under Wine, where the host
// application's named mutexes are real.
#include "tests/hostlib/exports_fixture.hpp"

#include <gtest/gtest.h>

#include <cstring>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using namespace exports_fixture;

TEST_F(Exports, WithoutADriveEachExportGivesItsOwnCode)
{
    unsigned char bytes[8];
    DeviceProperty property{};
    struct Case {
        const char* name;
        int result;
        int expected;
    };
    const Case cases[] = {
        {"MSC_UsbGetProtocolVer", MSC_UsbGetProtocolVer(1, bytes, 8), -1},
        {"MSC_UsbInitCheck", MSC_UsbInitCheck(), -1},
        {"MSC_UsbGetDevProperty", MSC_UsbGetDevProperty(&property), -1},
        {"MSC_UsbUnlockDevice", MSC_UsbUnlockDevice("1234"), -3},
        {"MSC_ebookUsb_setTime", MSC_ebookUsb_setTime(bytes), -3},
        {"MSC_ebookUsb_notifyBeginEnd", MSC_ebookUsb_notifyBeginEnd(1), -3},
        {"msc_CheckMediaState", msc_CheckMediaState(bytes), -3},
        {"MSC_ebookUsb_GetFreeSpace", MSC_ebookUsb_GetFreeSpace("", bytes), -3},
        {"MSC_GetFingerPrint", MSC_GetFingerPrint(bytes, 8, "x", 1), -2},
        {"MSC_GetInfo", MSC_GetInfo("model", nullptr, 0), -1},
        {"MSC_canConnect", MSC_canConnect(), 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.result, c.expected) << c.name;
}

#if defined(FENDRAC_EXPORTS_ON_SCSI_NODES)
TEST_F(Exports, TheReaderVolumesAreFoundAndOpened)
{
    // Every SCSI disk is asked; the reader's three are listed in order.
    std::string expected;
    for (const auto& node : kNodes)
        expected += (dir_ / "dev" / node[0]).string() + "\n";
    std::string list(512, '\0');
    EXPECT_EQ(FSListReaderVolumes(list.data(), static_cast<int>(list.size())), 3);
    EXPECT_EQ(list.c_str(), expected);
    VolumeIdentity identity{};
    ASSERT_EQ(FSVolumeGetDeviceInfoPath((dir_ / "dev" / "sdc").c_str(), &identity), 0);
    EXPECT_EQ(IsVenderSpecificSD(identity.vendor_specific), 1);
    EXPECT_EQ(FSVolumeGetDeviceInfoPath((dir_ / "dev" / "sde").c_str(), &identity), 22);

    ASSERT_EQ(MSC_OpenDriveW(built_in()), 1);
    EXPECT_TRUE(usb().connected);
    MSC_CloseDrive();
    EXPECT_FALSE(usb().connected);
}
#else
TEST_F(Exports, TheReaderVolumesAreFoundAndOpened)
{
    VolumeIdentity identity{};
    ASSERT_EQ(FSVolumeGetDeviceInfo('E', &identity), 0);
    EXPECT_EQ(IsEbookProduct(&identity), 1);
    EXPECT_EQ(IsVenderSpecificReader(identity.vendor_specific), 1);
    ASSERT_EQ(FSVolumeGetDeviceInfo('f', &identity), 0);
    EXPECT_EQ(IsVenderSpecificSD(identity.vendor_specific), 1);
    EXPECT_EQ(FSVolumeGetDeviceInfo('H', &identity), 22);
#if !defined(_WIN32)
    VolumeIdentity by_path{};
    ASSERT_EQ(FSVolumeGetDeviceInfoPath("E:", &by_path), 0);
    EXPECT_EQ(IsVenderSpecificReader(by_path.vendor_specific), 1);
    EXPECT_EQ(FSVolumeGetDeviceInfoPath(nullptr, &by_path), 22);
    // The reader's volumes are listed, whole lines only as far as they fit.
    char list[64];
    const int found = FSListReaderVolumes(list, sizeof list);
    EXPECT_GE(found, 2);
    EXPECT_EQ(std::string(list).substr(0, 6), "E:\nF:\n");
    EXPECT_EQ(FSListReaderVolumes(list, 4), found);
    EXPECT_STREQ(list, "E:\n");
    EXPECT_EQ(FSListReaderVolumes(list, 3), found);
    EXPECT_STREQ(list, "");
    EXPECT_EQ(FSListReaderVolumes(nullptr, 0), found);
#endif

    ASSERT_EQ(MSC_OpenDriveW(built_in()), 1);
    EXPECT_TRUE(usb().connected);
    MSC_CloseDrive();
    EXPECT_FALSE(usb().connected);
    EXPECT_EQ(MSC_OpenDriveA("\\\\.\\H:"), 0);
    EXPECT_EQ(MSC_OpenDriveA(nullptr), 0);
    EXPECT_EQ(MSC_OpenDriveW(nullptr), 0);
    EXPECT_EQ(MSC_OpenDriveA("\xff\xfe"), 0) << "no wide form in the C locale";
    EXPECT_FALSE(usb().connected);
}
#endif

TEST_F(Exports, TheReadersLock)
{
    edit([](UsbContent& c) {
        c.locked = true;
        c.unlock_code = "4711235";  // as long as a code may be
    });
    ASSERT_EQ(MSC_OpenDriveW(built_in()), 1);
    EXPECT_FALSE(usb().connected);  // a locked reader is not told
    EXPECT_EQ(MSC_UsbUnlockDevice("471123"), -5);
    EXPECT_EQ(MSC_UsbUnlockDevice("4711235"), 0);
    EXPECT_FALSE(usb().locked);

    // No answer to the reply phase is -15, which the open's probe waits on.
    faults("usb:reply_04 silent always\n");
    EXPECT_EQ(MSC_UsbUnlockDevice("4711235"), -15);

    // A reader that refuses the request ends the probe at its first try.
    MSC_CloseDrive();
    faults("usb:scsi_04 check always\n");
    std::ofstream(dir_ / "journal.jsonl", std::ios::trunc).flush();
    EXPECT_EQ(MSC_OpenDriveW(built_in()), 1);
    std::ifstream journal(dir_ / "journal.jsonl");
    int probes = 0;
    for (std::string line; std::getline(journal, line);)
        probes += line.find("\"code\":4,") != std::string::npos ? 1 : 0;
    EXPECT_EQ(probes, 10);
}

TEST_F(Exports, VersionPropertyClockAndNotices)
{
    ASSERT_EQ(MSC_OpenDriveW(built_in()), 1);
    char version[9] = {};
    EXPECT_EQ(MSC_UsbGetProtocolVer(0, version, 8), 0);
    EXPECT_STREQ(version, "01000010");
    char untouched[8] = {'x'};
    EXPECT_EQ(MSC_UsbGetProtocolVer(1, untouched, 7), -1);
    EXPECT_EQ(untouched[0], 'x');
    EXPECT_EQ(MSC_UsbGetProtocolVer(1, nullptr, 8), -1);
    EXPECT_EQ(MSC_UsbInitCheck(), 0);

    DeviceProperty property{};
    ASSERT_EQ(MSC_UsbGetDevProperty(&property), 0);
    EXPECT_STREQ(property.device_type, "QLX-K1");
    ASSERT_EQ(property.entry_count, 1u);
    EXPECT_STREQ(reinterpret_cast<const char*>(property.entries[0].bytes), "ebook reader");
    MSC_UsbFreeDevProperty(&property);
    EXPECT_EQ(property.entries, nullptr);
    MSC_UsbFreeDevProperty(&property);
    MSC_UsbFreeDevProperty(nullptr);
    EXPECT_EQ(MSC_UsbGetDevProperty(nullptr), -1);

    unsigned char clock[28];
    for (int i = 0; i < 28; ++i)
        clock[i] = static_cast<unsigned char>(i);
    EXPECT_EQ(MSC_ebookUsb_setTime(clock), 0);
    EXPECT_EQ(usb().clock, std::vector<std::uint8_t>(clock, clock + 28));
    EXPECT_EQ(MSC_ebookUsb_setTime(nullptr), -2);
    EXPECT_EQ(MSC_ebookUsb_notifyBeginEnd(7), 0);
    EXPECT_EQ(usb().notice, 7u);

    faults("usb:scsi_07 check always\n");
    EXPECT_EQ(MSC_ebookUsb_setTime(clock), -2);
}

TEST_F(Exports, MediaStateAndFreeSpace)
{
    edit([](UsbContent& c) {
        c.media_state = {1, 2, 3, 4, 5, 6, 7, 8};
        c.free_space = 0x0102030405060708;
    });
    ASSERT_EQ(MSC_OpenDriveW(built_in()), 1);
    unsigned char state[8] = {};
    ASSERT_EQ(msc_CheckMediaState(state), 0);
    EXPECT_EQ(state[0], 1);
    EXPECT_EQ(state[7], 8);
    unsigned char space[8] = {};
    ASSERT_EQ(MSC_ebookUsb_GetFreeSpace("whatever the text", space), 0);  // the text is not sent
    EXPECT_EQ(space[0], 0x08);
    EXPECT_EQ(space[7], 0x01);
    EXPECT_EQ(MSC_ebookUsb_GetFreeSpace(nullptr, space), 0);

    faults("usb:scsi_0A short 1\n");
    EXPECT_EQ(msc_CheckMediaState(state), -2);
}

TEST_F(Exports, FingerPrint)
{
    ASSERT_EQ(MSC_OpenDriveW(built_in()), 1);
    unsigned char reply[64] = {};
    EXPECT_EQ(MSC_GetFingerPrint(reply, 16, "id", 2), 0);
    EXPECT_EQ(reply[15], 0x0F);
    EXPECT_EQ(MSC_GetFingerPrint(reply, 64, "id", 2), -1);  // the reader has only 16
    EXPECT_EQ(MSC_GetFingerPrint(reply, 16, "id", 0), -2);
    EXPECT_EQ(MSC_GetFingerPrint(nullptr, 16, "id", 2), -2);
    EXPECT_EQ(MSC_GetFingerPrint(reply, 5000, "id", 2), -2);
    // Sent and answered alike whichever way the host's kernel sends no data.
    EXPECT_EQ(MSC_GetFingerPrint(reply, 0, "id", 2), 0) << "no reply asked for, none taken";
}

TEST_F(Exports, InformationInPieces)
{
    const std::string big(5000, 'i');
    edit([&](UsbContent& c) { c.info["big"] = big; });
    ASSERT_EQ(MSC_OpenDriveW(built_in()), 1);

    // The size first, then the data; the acknowledgement says what was
    // not fetched.
    EXPECT_EQ(MSC_GetInfo("model", nullptr, 0), 6);
    EXPECT_EQ(usb().getinfo_ack, 6);
    char text[16] = {};
    EXPECT_EQ(MSC_GetInfo("model", text, sizeof text), 6);
    EXPECT_STREQ(text, "QLX-K1");
    EXPECT_EQ(usb().getinfo_ack, 0);
    EXPECT_EQ(MSC_GetInfo("unknown", text, sizeof text), 0);
    EXPECT_EQ(usb().getinfo_ack, 0);
    // A query fills one phase at most.
    EXPECT_EQ(MSC_GetInfo(std::string(4096, 'q').c_str(), text, sizeof text), 0);
    EXPECT_EQ(MSC_GetInfo(std::string(4097, 'q').c_str(), text, sizeof text), -2);

    // A small buffer is filled and never overrun.
    char small[5] = {0, 0, 0, 0, '#'};
    EXPECT_EQ(MSC_GetInfo("model", small, 4), 6);
    EXPECT_EQ(std::string(small, 4), "QLX-");
    EXPECT_EQ(small[4], '#');

    // A size below 0 asks for nothing and is acknowledged as it is.
    EXPECT_EQ(MSC_GetInfo("model", small, -3), 6);
    EXPECT_EQ(usb().getinfo_ack, -3);
    EXPECT_EQ(small[0], 'Q');

    std::string buffer(6000, '\0');
    EXPECT_EQ(MSC_GetInfo("big", buffer.data(), 6000), 5000);
    EXPECT_EQ(buffer.substr(0, 5000), big);

    // The second piece fails: what is still owed is acknowledged.
    faults("usb:scsi_A0 check 1 after 3\n");
    EXPECT_EQ(MSC_GetInfo("big", buffer.data(), 6000), -2);
    EXPECT_EQ(usb().getinfo_ack, 5000 - 4096);
}

TEST_F(Exports, AnOlderReaderDoesNotOfferTheNewerCommands)
{
    edit([](UsbContent& c) { c.version = "01000000"; });
    ASSERT_EQ(MSC_OpenDriveW(built_in()), 1);
    unsigned char reply[16];
    EXPECT_EQ(MSC_GetFingerPrint(reply, 16, "id", 2), -500);
    EXPECT_EQ(MSC_GetInfo("model", nullptr, 0), -500);
}

#if !defined(_WIN32)
TEST_F(Exports, TheApplicationLockHeldByAnotherProcess)
{
    // The named mutexes are lock files, machine-wide: another process
    // holding STATE3 keeps this one off it until it lets go.
    ASSERT_EQ(MSC_CreateMutexes(), 1);
    int taken[2], done[2];
    ASSERT_EQ(::pipe(taken), 0);
    ASSERT_EQ(::pipe(done), 0);
    const pid_t other = ::fork();
    if (other == 0) {
        ::close(done[1]);
        const int fd = ::open((dir_ / FENDRAC_MUTEX_STATE3_NAME ".lock").c_str(), O_RDONLY);
        const char locked = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
        char ignored;
        ::_exit(::write(taken[1], &locked, 1) == 1 && ::read(done[0], &ignored, 1) >= 0 ? 0 : 1);
    }
    ::close(done[0]);
    char locked = 0;
    ASSERT_EQ(::read(taken[0], &locked, 1), 1);
    EXPECT_EQ(locked, 'y');
    EXPECT_EQ(MSC_LockUSBDLL(), 0);
    EXPECT_EQ(MSC_checkAvailability(0), 0);
    ::close(done[1]);
    int status = -1;
    ::waitpid(other, &status, 0);
    EXPECT_EQ(MSC_checkAvailability(0), 1);
    EXPECT_EQ(MSC_LockUSBDLL(), 1);
    EXPECT_EQ(MSC_UnlockUSBDLL(), 1);
    ::close(taken[0]);
    ::close(taken[1]);
}
#endif

#if defined(_WIN32)
TEST_F(Exports, AnotherProcessHoldingState1HoldsBackACommand)
{
    ASSERT_EQ(MSC_OpenDriveW(built_in()), 1);
    host_application::OtherProcess other(FENDRAC_MUTEX_STATE1);
    ASSERT_TRUE(other.holding());
    std::atomic<bool> done = false;
    std::thread command([&] {
        MSC_UsbInitCheck();
        done = true;
    });
    Sleep(300);
    EXPECT_FALSE(done);
    other.release();
    command.join();
    EXPECT_TRUE(done);
}
#endif

}  // namespace
