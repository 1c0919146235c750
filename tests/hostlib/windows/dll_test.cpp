// The shipped DLL as an application meets it: loaded by name, every export
// found by its plain name, the application lock against another process,
// and a volume that cannot carry the reader's commands.
#include "hostlib/include/fendrac.h"
#include "tests/hostlib/windows/exported_names.hpp"
#include "tests/hostlib/windows/host_application.hpp"

#include <gtest/gtest.h>

#include <windows.h>

#include <thread>

namespace {

using host_application::NamedMutex;
using host_application::OtherProcess;

class Dll : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(library_, nullptr); }
    static void SetUpTestSuite() { library_ = LoadLibraryA("Fendrac.dll"); }
    static void TearDownTestSuite() { FreeLibrary(library_); }

    template <typename Function>
    static Function* get(const char* name)
    {
        return reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(library_, name)));
    }

    static HMODULE library_;
};
HMODULE Dll::library_ = nullptr;

TEST_F(Dll, EveryExportResolvesByItsPlainName)
{
    for (const char* name : kExportedNames)
        EXPECT_NE(get<void()>(name), nullptr) << name;
    EXPECT_EQ(get<void()>("_MSC_OpenDriveW@4"), nullptr);
}

TEST_F(Dll, TheApplicationLockAgainstAnotherProcess)
{
    auto lock = get<int()>("MSC_LockUSBDLL");
    auto unlock = get<int()>("MSC_UnlockUSBDLL");
    auto available = get<int(int)>("MSC_checkAvailability");

    // Before the application created the mutex there is nothing to take.
    EXPECT_EQ(lock(), 0);
    EXPECT_EQ(available(0), 0);

    NamedMutex state3(FENDRAC_MUTEX_STATE3);
    ASSERT_TRUE(state3.created());
    EXPECT_EQ(available(0), 1);
    EXPECT_EQ(lock(), 1);
    EXPECT_EQ(unlock(), 1);
    {
        OtherProcess other(FENDRAC_MUTEX_STATE3);
        ASSERT_TRUE(other.holding());
        EXPECT_EQ(lock(), 0);
        EXPECT_EQ(available(0), 0);
        EXPECT_EQ(available(48213), 1);
    }
    EXPECT_EQ(lock(), 1);
    EXPECT_EQ(unlock(), 1);
}

// `call`'s result on a thread of its own, which then ends.
template <typename Call>
int on_another_thread(Call call)
{
    int result = -1;
    std::thread([&] { result = call(); }).join();
    return result;
}

TEST_F(Dll, TheApplicationLockIsHeldByOneThreadAtATime)
{
    auto lock = get<int()>("MSC_LockUSBDLL");
    auto unlock = get<int()>("MSC_UnlockUSBDLL");
    NamedMutex state3(FENDRAC_MUTEX_STATE3);
    ASSERT_TRUE(state3.created());

    // A thread that ends holding the lock leaves it abandoned: the next
    // thread to lock holds it alone.
    EXPECT_EQ(on_another_thread(lock), 1);
    EXPECT_EQ(lock(), 1);
    EXPECT_EQ(on_another_thread(lock), 0);
    EXPECT_EQ(lock(), 1) << "again by its holder";
    EXPECT_EQ(unlock(), 1);
    EXPECT_EQ(on_another_thread([&] { return lock() + unlock(); }), 2);
}

TEST_F(Dll, AVolumeWithoutPassThroughFailsCleanly)
{
    // Under Wine a volume answers the pass-through request with "not
    // supported": the open fails after its retries and leaves nothing open,
    // and so does a drive letter with no drive at all.
    auto open = get<int(const wchar_t*)>("MSC_OpenDriveW");
    auto can_connect = get<int()>("MSC_canConnect");
    auto device_info = get<int(int, void*)>("FSVolumeGetDeviceInfo");
    EXPECT_EQ(open(L"\\\\.\\C:"), 0);
    EXPECT_EQ(can_connect(), 0);
    unsigned char identity[53] = {};
    EXPECT_EQ(device_info('C', identity), 22);
    EXPECT_EQ(device_info('Q', identity), 22);
}

}  // namespace
