// The Linux system layer's threads and debugger output, as the eject and
// the transfers use them.
#include "hostlib/os/host_eject.hpp"
#include "hostlib/os/host_system.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>

namespace {

std::atomic<bool> g_let_go{false};

std::uint32_t wait_to_be_let_go(void*)
{
    while (!g_let_go.load())
        hostos::sleep_ms(1);
    return 0;
}

// A worker still at work times a limited wait out; once it ends, a wait
// without limit returns.
TEST(LinuxSystem, AThreadIsWaitedForWithinItsTimeOrUntilItEnds)
{
    const hostos::Handle worker = hostos::create_thread(wait_to_be_let_go, nullptr);
    ASSERT_NE(worker, nullptr);
    EXPECT_EQ(hostos::wait_thread(worker, 20), hostos::WaitResult::TimedOut);
    g_let_go = true;
    EXPECT_EQ(hostos::wait_thread(worker, hostos::kInfinite), hostos::WaitResult::Signaled);
    hostos::close_handle(worker);
}

TEST(LinuxSystem, AWideTextReachesTheDebuggerOutput)
{
    ::setenv("FENDRAC_DEBUG", "1", 1);
    testing::internal::CaptureStderr();
    hostos::debug_output_wide(L"Transfer Error2 ");
    hostos::debug_output_wide(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "fendrac: Transfer Error2 \n");
}

}  // namespace
