// Opening and closing the drive, the reader's lock at open, the version
// gate, and the machine-wide mutexes.
#include "hostlib/include/fendrac.h"
#include "hostlib/named_mutex.hpp"
#include "hostlib/os/portable_control.hpp"
#include "hostlib/usb_command_manager.hpp"
#include "tests/hostlib/scripted_device.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using scripted::Answer;
using scripted::Exchange;

class Drive : public ::testing::Test {
protected:
    void SetUp() override
    {
        scripted::reset();
        hostos::portable::reset_clock();
        hostos::portable::clear_debug_lines();
        hostos::portable::remove_mutexes();
    }
    void TearDown() override
    {
        while (MSC_canConnect())
            MSC_CloseDrive();
        hostos::portable::remove_mutexes();
    }

    // A reader that answers `unlock` to code 4, `connect` to code 3, and
    // `version` to code 1.
    static void reader(std::int32_t unlock, std::int32_t connect, std::string version = "01000010")
    {
        scripted::respond([=](const Exchange& e) {
            Answer answer = scripted::good_reader(e);
            if (e.data_in && e.code() == 4)
                answer.data = scripted::word(unlock);
            if (e.data_in && e.code() == 3)
                answer.data = scripted::word(connect);
            if (e.data_in && e.code() == 1)
                answer.data.assign(version.begin(), version.end());
            return answer;
        });
    }

    // The phase-1 exchanges of command `code`, and the values code 3 sent.
    static int commands(std::uint8_t code)
    {
        int count = 0;
        for (const Exchange& e : scripted::log())
            count += e.code() == code && e.phase() == 1 ? 1 : 0;
        return count;
    }
    static std::vector<std::uint8_t> connection_notices()
    {
        std::vector<std::uint8_t> values;
        for (const Exchange& e : scripted::log())
            if (e.code() == 3 && !e.data_in)
                values.push_back(e.data_out.at(0));
        return values;
    }
};

TEST_F(Drive, OpenProbesConnectsAndReadsTheVersionOnce)
{
    ASSERT_EQ(MSC_OpenDriveW(L"\\\\.\\R:"), 1);
    EXPECT_EQ(MSC_canConnect(), 1);
    EXPECT_EQ(commands(4), 1);
    EXPECT_EQ(scripted::log().at(0).data_out, (std::vector<std::uint8_t>{'-', '1', 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(connection_notices(), std::vector<std::uint8_t>{1});
    EXPECT_EQ(scripted::log().back().cdb[5], 1);  // the version, selector 1

    // Opens are counted: the second does nothing, the last close disconnects.
    const std::size_t exchanges = scripted::log().size();
    EXPECT_EQ(MSC_OpenDriveA("\\\\.\\R:"), 1);
    EXPECT_EQ(scripted::log().size(), exchanges);
    MSC_CloseDrive();
    EXPECT_EQ(MSC_canConnect(), 1);
    EXPECT_EQ(scripted::log().size(), exchanges);
    MSC_CloseDrive();
    EXPECT_EQ(MSC_canConnect(), 0);
    EXPECT_EQ(connection_notices(), (std::vector<std::uint8_t>{1, 0}));
    EXPECT_EQ(scripted::volumes_opened(), 1);
    EXPECT_EQ(scripted::volumes_closed(), 1);
    MSC_CloseDrive();  // nothing open: nothing happens
    EXPECT_EQ(connection_notices().size(), 2u);
}

TEST_F(Drive, TheUnlockProbeWaitsForAReaderThatDoesNotAnswer)
{
    // The reply phase never comes back: 150 probes 200 ms apart, then the
    // connect all the same. A refused reply costs its pause alone; a call
    // that fails, its ten tries as well.
    struct Row {
        const char* name;
        Answer reply;
        std::uint64_t clock_ms;
    };
    const Row rows[] = {
        {"refused", Answer{true, 2, {}, 80, {}}, 149u * 200u},
        {"the call fails", Answer{false, 0, {}, {}, {}}, 150u * 9u * 200u + 149u * 200u},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        scripted::reset();
        hostos::portable::reset_clock();
        scripted::respond([&row](const Exchange& e) {
            if (e.code() == 4 && e.data_in)
                return row.reply;
            return scripted::good_reader(e);
        });
        EXPECT_EQ(MSC_OpenDriveW(L"\\\\.\\R:"), 1);
        EXPECT_EQ(commands(4), 150);
        EXPECT_EQ(hostos::portable::clock_ms(), row.clock_ms);
        EXPECT_EQ(connection_notices(), std::vector<std::uint8_t>{1});
        MSC_CloseDrive();
    }
}

TEST_F(Drive, TheUnlockProbeEndsAtARefusedRequest)
{
    // The reader refuses the probe's request: its ten attempts, then the
    // connect; a reader that refuses every command fails the open as fast.
    for (const bool refuses_all : {false, true}) {
        SCOPED_TRACE(refuses_all ? "every command refused" : "the probe refused");
        scripted::reset();
        hostos::portable::reset_clock();
        scripted::respond([refuses_all](const Exchange& e) {
            if (!e.data_in && (refuses_all || e.code() == 4))
                return Answer{true, 2, {}, 80, {}};
            return scripted::good_reader(e);
        });
        EXPECT_EQ(MSC_OpenDriveW(L"\\\\.\\R:"), refuses_all ? 0 : 1);
        EXPECT_EQ(commands(4), 10);
        EXPECT_EQ(hostos::portable::clock_ms(), (refuses_all ? 3u : 1u) * 9u * 200u);
        while (MSC_canConnect())
            MSC_CloseDrive();
    }
}

TEST_F(Drive, ALockedReaderIsNeverToldOfTheConnection)
{
    reader(-5, 0);
    ASSERT_EQ(MSC_OpenDriveW(L"\\\\.\\R:"), 1);
    EXPECT_EQ(fendrac::library().current_manager.load()->locked, 1);
    MSC_CloseDrive();
    EXPECT_TRUE(connection_notices().empty());
    EXPECT_EQ(commands(1), 1);
}

TEST_F(Drive, AFailedConnectClosesTheDriveAgain)
{
    reader(0, -7);
    EXPECT_EQ(MSC_OpenDriveW(L"\\\\.\\R:"), 0);
    EXPECT_EQ(MSC_canConnect(), 0);
    EXPECT_EQ(connection_notices(), (std::vector<std::uint8_t>{1, 0}));
    EXPECT_EQ(commands(1), 0);

    // A volume that opens neither directly nor through a broker: every
    // exchange fails, quickly, and so does the open.
    scripted::reset();
    scripted::volumes_open(false);
    EXPECT_EQ(MSC_OpenDriveW(L"\\\\.\\R:"), 0);
    EXPECT_EQ(scripted::broker_calls(), 1);
    EXPECT_EQ(MSC_canConnect(), 0);
}

TEST_F(Drive, TheBrokerOpensWhatCreateFileCannot)
{
    scripted::volumes_open(false);
    std::wstring asked;
    scripted::broker([&](const std::wstring& path) {
        asked = path;
        return reinterpret_cast<hostos::Handle>(0x6000);
    });
    EXPECT_EQ(MSC_OpenDriveW(L"\\\\.\\R:"), 1);
    EXPECT_EQ(asked, L"\\\\.\\R:");
}

TEST_F(Drive, TheVersionGatesTheNewerCommands)
{
    struct Case {
        std::string version;
        bool passes;
    };
    for (const Case& c : {Case{"01000010", true}, Case{"01000000", false}, Case{"02000010", false},
                          Case{"0100\x30\x30\x31\x2F", false}, Case{"0100/010", false}}) {
        SCOPED_TRACE(c.version);
        scripted::reset();
        reader(0, 0, c.version);
        ASSERT_EQ(MSC_OpenDriveW(L"\\\\.\\R:"), 1);
        const std::size_t before = scripted::log().size();
        unsigned char reply[4];
        const int result = MSC_GetFingerPrint(reply, sizeof reply, "x", 1);
        EXPECT_EQ(result == -500, !c.passes);
        EXPECT_EQ(scripted::log().size() == before, !c.passes);
        MSC_CloseDrive();
    }
    // A version query that fails leaves zeros, which fail the gate.
    scripted::reset();
    scripted::respond([](const Exchange& e) {
        return e.code() == 1 ? Answer{true, 2, {}, 80, {}} : scripted::good_reader(e);
    });
    ASSERT_EQ(MSC_OpenDriveW(L"\\\\.\\R:"), 1);
    EXPECT_EQ(MSC_GetInfo("q", nullptr, 0), -500);
}

TEST_F(Drive, AnUnknownCodeSucceedsWithoutATransfer)
{
    ASSERT_EQ(MSC_OpenDriveW(L"\\\\.\\R:"), 1);
    const std::size_t before = scripted::log().size();
    std::uint8_t reply[4];
    EXPECT_EQ(fendrac::library().current_manager.load()->DispatchExchange(0x55, "x", 1, reply, 4), 0);
    EXPECT_EQ(scripted::log().size(), before);
    EXPECT_EQ(hostos::portable::debug_lines().back(), "NG NG NG NG NG!");
}

TEST_F(Drive, TheApplicationLock)
{
    EXPECT_EQ(MSC_LockUSBDLL(), 0);  // the application has not created it
    EXPECT_EQ(MSC_checkAvailability(0), 0);
    EXPECT_EQ(MSC_checkAvailability(48213), 1);

    hostos::portable::create_mutex(FENDRAC_MUTEX_STATE3);
    EXPECT_EQ(MSC_checkAvailability(0), 1);
    EXPECT_EQ(MSC_LockUSBDLL(), 1);
    if (hostos::portable::hold_elsewhere(FENDRAC_MUTEX_STATE3)) {
        ADD_FAILURE() << "the lock is not held by this thread";
        hostos::portable::release_elsewhere(FENDRAC_MUTEX_STATE3);
    }
    EXPECT_EQ(MSC_LockUSBDLL(), 1);  // again by its holder: one unlock frees it
    EXPECT_EQ(MSC_UnlockUSBDLL(), 1);
    ASSERT_TRUE(hostos::portable::hold_elsewhere(FENDRAC_MUTEX_STATE3));
    EXPECT_EQ(MSC_LockUSBDLL(), 0);
    EXPECT_EQ(MSC_checkAvailability(0), 0);
    EXPECT_EQ(MSC_checkAvailability(0x10000 + 48213), 1);
    hostos::portable::release_elsewhere(FENDRAC_MUTEX_STATE3);
    EXPECT_EQ(MSC_UnlockUSBDLL(), 1);
    EXPECT_EQ(msc_TargetWin(), 0);
}

// Runs `call` on a thread and tells whether it was still held back after a
// while, then lets `release` free it.
template <typename Call, typename Release>
bool held_back(Call call, Release release)
{
    std::atomic<bool> done = false;
    std::thread worker([&] {
        call();
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const bool waiting = !done;
    release();
    worker.join();
    return waiting && done;
}

TEST_F(Drive, CommandsWaitForTheCommandMutexes)
{
    for (const char* name : {FENDRAC_MUTEX_STATE1, FENDRAC_MUTEX_STATE2, FENDRAC_MUTEX_STATE3})
        hostos::portable::create_mutex(name);
    ASSERT_EQ(MSC_OpenDriveW(L"\\\\.\\R:"), 1);

    ASSERT_TRUE(hostos::portable::hold_elsewhere(FENDRAC_MUTEX_STATE1));
    EXPECT_TRUE(
        held_back([] { MSC_UsbInitCheck(); }, [] { hostos::portable::release_elsewhere(FENDRAC_MUTEX_STATE1); }));

    // The last close takes STATE1 before STATE2, like every command: while
    // it waits for STATE1 it holds nothing.
    ASSERT_TRUE(hostos::portable::hold_elsewhere(FENDRAC_MUTEX_STATE1));
    bool state2_free = false;
    EXPECT_TRUE(held_back([] { MSC_CloseDrive(); },
                          [&] {
                              state2_free = hostos::portable::hold_elsewhere(FENDRAC_MUTEX_STATE2);
                              hostos::portable::release_elsewhere(FENDRAC_MUTEX_STATE2);
                              hostos::portable::release_elsewhere(FENDRAC_MUTEX_STATE1);
                          }));
    EXPECT_TRUE(state2_free);
    EXPECT_EQ(MSC_canConnect(), 0);
}

TEST_F(Drive, ThreadsOpeningAndClosingTogether)
{
    // Each thread's open is a drive it can use at once, whichever thread
    // opened the reader first or closes it last.
    for (const char* name : {FENDRAC_MUTEX_STATE1, FENDRAC_MUTEX_STATE2, FENDRAC_MUTEX_STATE3})
        hostos::portable::create_mutex(name);
    std::atomic<int> failures = 0;
    auto run = [&failures] {
        for (int i = 0; i < 30; ++i) {
            unsigned char version[8];
            if (MSC_OpenDriveW(L"\\\\.\\R:") != 1 || MSC_UsbGetProtocolVer(1, version, sizeof version) != 0)
                ++failures;
            MSC_CloseDrive();
        }
    };
    std::thread first(run);
    std::thread second(run);
    first.join();
    second.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(MSC_canConnect(), 0);
    EXPECT_EQ(scripted::volumes_opened(), scripted::volumes_closed());
}

}  // namespace
