// Threads racing the drive's lifetime: one thread opens and closes the
// drive while another calls an export of each family (information, files,
// update partitions, tunnel, eject), and an eject that fails runs while
// another thread sends commands. Under ASan and TSan natively and under
// Wine, no export may reach a manager that a close freed nor a handle the
// eject took away; each call finds the drive open and works, or finds no
// drive; and the reader never sees a command abandoned or left unfinished.
#include "tests/hostlib/exports_fixture.hpp"
#include "vreader/model/usb/pc_device_tree.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

namespace {

using namespace exports_fixture;

// Opens and closes per export: a few seconds for all of them (an open
// costs more under Wine).
#if defined(_WIN32)
constexpr int kCycles = 3;
#else
constexpr int kCycles = 4;
#endif

struct Call {
    const char* name;
    std::function<int()> run;
    int no_drive;  // its result without a drive
};

// Each export once, with arguments that work on the open drive and leave
// the reader as it was; their results on the open drive are learnt first.
std::vector<Call> every_export_family(const fs::path& dir)
{
    static unsigned char bytes[64];
    static unsigned char data[5000];
    static const std::string image = (dir / "race.img").string();
    std::ofstream(image, std::ios::binary).write(reinterpret_cast<const char*>(data), 100);
    return {
        {"MSC_UsbGetProtocolVer", [] { return MSC_UsbGetProtocolVer(1, bytes, 8); }, -1},
        {"MSC_UsbInitCheck", [] { return MSC_UsbInitCheck(); }, -1},
        {"MSC_UsbGetDevProperty",
         [] {
             DeviceProperty property{};
             const int result = MSC_UsbGetDevProperty(&property);
             MSC_UsbFreeDevProperty(&property);
             return result;
         },
         -1},
        {"MSC_UsbUnlockDevice", [] { return MSC_UsbUnlockDevice("0000"); }, -3},
        {"MSC_ebookUsb_setTime", [] { return MSC_ebookUsb_setTime(bytes); }, -3},
        {"MSC_ebookUsb_notifyBeginEnd", [] { return MSC_ebookUsb_notifyBeginEnd(1); }, -3},
        {"msc_CheckMediaState", [] { return msc_CheckMediaState(bytes); }, -3},
        {"MSC_ebookUsb_GetFreeSpace", [] { return MSC_ebookUsb_GetFreeSpace("", bytes); }, -3},
        {"MSC_GetFingerPrint", [] { return MSC_GetFingerPrint(bytes, 16, "id", 2); }, -2},
        {"MSC_GetInfo", [] { return MSC_GetInfo("model", bytes, sizeof bytes); }, -1},
        {"MSC_UsbFile_Write", [] { return MSC_UsbFile_Write("/race.bin", data, 0, sizeof data); }, -3},
        {"MSC_UsbFile_GetSize",
         [] {
             int size = 0;
             return MSC_UsbFile_GetSize("/race.bin", &size);
         },
         -3},
        {"MSC_UsbFile_Read", [] { return MSC_UsbFile_Read("/race.bin", data, 0, sizeof data, 0); }, -3},
        {"MSC_UsbFile_Delete", [] { return MSC_UsbFile_Delete("/none.bin"); }, -3},
        {"MSC_ReqChangeMode", [] { return MSC_ReqChangeMode(1); }, -3},
        {"MSC_ReqCreatePartition", [] { return MSC_ReqCreatePartition("race", 1, 2, 3); }, -3},
        {"MSC_ReqCreatePartitionWithImage",
         [] { return MSC_ReqCreatePartitionWithImage("race", 0, 0, 0, 100, image.c_str(), "", nullptr); }, -3},
        {"MSC_GetPartitionSize",
         [] {
             unsigned first = 0, second = 0, third = 0;
             return MSC_GetPartitionSize("race", &first, &second, &third);
         },
         -3},
        {"MSC_ReqDeletePartition", [] { return MSC_ReqDeletePartition("none"); }, -3},
        {"MSC_ebookUsb_getHTTPRequestfromDevice",
         [] {
             void* body = nullptr;
             int size = 0;
             const int result = MSC_ebookUsb_getHTTPRequestfromDevice("", "", &body, &size);
             MSC_ebookUsb_freeHTTPRequestfromDevice(body);
             return result;
         },
         -3},
        {"MSC_ebookUsb_sendHTTPResponsetoDevice",
         [] {
             void* body = nullptr;
             int size = 0;
             const int result = MSC_ebookUsb_sendHTTPResponsetoDevice("ok", 2, &size, &body);
             MSC_ebookUsb_freeHTTPRequestfromDevice(body);
             return result;
         },
         -3},
        {"MSC_EjectMedia (vetoed)", [] { return MSC_EjectMedia(); }, 0},
    };
}

// The reader's exchanges in the journal that it abandoned or refused, the
// exchanges it saw between a volume lock and its eject request, and the
// volume locks.
struct Journal {
    int broken = 0;
    int during_eject = 0;
    int volume_locks = 0;
};
Journal read_journal(const fs::path& dir)
{
    std::ifstream in(dir / "journal.jsonl");
    Journal journal;
    bool ejecting = false;
    for (std::string line; std::getline(in, line);) {
        if (line.find("\"request\":\"lock_volume\"") != std::string::npos) {
            ejecting = true;
            ++journal.volume_locks;
        }
        if (line.find("\"request\":\"eject\"") != std::string::npos)
            ejecting = false;
        if (line.find("\"request\":\"scsi\"") == std::string::npos)
            continue;
        if (ejecting)
            ++journal.during_eject;
        if (line.find("\"abandoned\"") != std::string::npos || line.find("\"error\"") != std::string::npos)
            ++journal.broken;
    }
    return journal;
}

class RaceExports : public Exports {
protected:
    void SetUp() override
    {
        Exports::SetUp();
#if !defined(_WIN32)
        ASSERT_EQ(MSC_CreateMutexes(), 1);
#endif
        vreader::DeviceTree vetoed;
        vetoed.eject = vreader::EjectAnswer::Veto;
        ASSERT_EQ(vreader::save_device_tree(dir_.string(), vetoed), 0);
    }
    void TearDown() override
    {
        Exports::TearDown();
        std::error_code ignored;
        fs::remove_all(dir_ / "tunnel", ignored);
    }
};

TEST_F(RaceExports, ACloseOnAnotherThreadNeverFreesTheDriveUnderAnExport)
{
    ASSERT_EQ(MSC_OpenDriveW(built_in()), 1);
    ASSERT_EQ(MSC_ReqChangeMode(1), 0);
    std::vector<Call> calls = every_export_family(dir_);
    std::vector<int> open_results;
    for (const Call& call : calls) {
        call.run();  // the first may change the reader: the second tells
        open_results.push_back(call.run());
    }
    MSC_CloseDrive();

    for (std::size_t row = 0; row < calls.size(); ++row) {
        const Call& call = calls[row];
        SCOPED_TRACE(call.name);
        std::ofstream(dir_ / "journal.jsonl", std::ios::trunc).flush();
        std::atomic<bool> cycling = true;
        std::atomic<int> failed_opens = 0;
        std::thread opener([&] {
            for (int i = 0; i < kCycles; ++i) {
                if (MSC_OpenDriveW(built_in()) != 1)
                    ++failed_opens;
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                MSC_CloseDrive();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            cycling = false;
        });
        std::set<int> results;
        int calls_made = 0;
        while (cycling) {
            results.insert(call.run());
            ++calls_made;
        }
        opener.join();
        EXPECT_EQ(failed_opens, 0);
        for (const int result : results)
            EXPECT_TRUE(result == open_results[row] || result == call.no_drive)
                << result << " is neither " << open_results[row] << " nor " << call.no_drive;
        EXPECT_GT(calls_made, 0);
        EXPECT_EQ(read_journal(dir_).broken, 0);
        EXPECT_FALSE(usb().command) << "a command left unfinished";
        EXPECT_FALSE(usb().connected) << "the last close disconnects";
    }
}

TEST_F(RaceExports, AFailedEjectTakesTheHandleOnlyFromCommandsThatEnded)
{
    // Two threads eject, one at a time, each from the handle the other's
    // reopen left; a third sends commands.
    constexpr int kEjects = 4;
    ASSERT_EQ(MSC_OpenDriveW(built_in()), 1);
    std::ofstream(dir_ / "journal.jsonl", std::ios::trunc).flush();
    std::atomic<int> ejecting = 2;
    const auto eject = [&] {
        for (int i = 0; i < kEjects; ++i)
            EXPECT_EQ(MSC_EjectMedia(), 0);
        --ejecting;
    };
    std::thread first(eject);
    std::thread second(eject);
    // While the eject has the handle, commands find none and fail; each
    // other command works whole.
    static unsigned char data[9000];
    const std::set<int> allowed = {0, -2};
    std::set<int> results;
    while (ejecting != 0) {
        results.insert(MSC_UsbFile_Write("/eject.bin", data, 0, sizeof data));
        results.insert(MSC_UsbFile_Read("/eject.bin", data, 0, sizeof data, 0));
    }
    first.join();
    second.join();
    for (const int result : results)
        EXPECT_EQ(allowed.count(result), 1u) << result;
    const Journal journal = read_journal(dir_);
    EXPECT_EQ(journal.during_eject, 0) << "a command sent on the handle the eject had taken";
    EXPECT_EQ(journal.volume_locks, 2 * kEjects) << "an eject without a handle";
    EXPECT_EQ(journal.broken, 0);
    EXPECT_FALSE(usb().command);
    EXPECT_TRUE(usb().connected) << "the failed eject reconnects";
    EXPECT_EQ(MSC_UsbFile_Write("/eject.bin", data, 0, sizeof data), 0);
}

}  // namespace
