// The named mutexes as lock files: missing files, ownership by thread and
// re-entrancy as on Windows, and exclusion across processes.
#include "hostlib/os/host_system.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>

namespace {

namespace fs = std::filesystem;
using hostos::WaitResult;

constexpr const char* kName = "Global\\ZEPA_EBOOK_QLX_STATE1";

class LockFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/fendrac-locks-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        ::setenv("FENDRAC_LOCK_DIR", dir_.c_str(), 1);
    }
    void TearDown() override
    {
        ::unsetenv("FENDRAC_LOCK_DIR");
        fs::remove_all(dir_);
    }
    void create(const std::string& file) const { std::ofstream(dir_ / file).flush(); }

    // A second process's attempt on the file, without waiting: its exit
    // status is 0 when it got the lock.
    int other_process_tries(const std::string& file) const
    {
        const pid_t child = ::fork();
        if (child == 0) {
            const int fd = ::open((dir_ / file).c_str(), O_RDONLY);
            ::_exit(fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : 1);
        }
        int status = -1;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    fs::path dir_;
};

TEST_F(LockFiles, AMissingFileIsAMissingMutex)
{
    EXPECT_EQ(hostos::open_mutex(kName), nullptr);
    create("ZEPA_EBOOK_QLX_STATE1.lock");
    const hostos::Handle handle = hostos::open_mutex(kName);
    ASSERT_NE(handle, nullptr);
    EXPECT_FALSE(fs::exists(dir_ / "Global\\ZEPA_EBOOK_QLX_STATE1.lock")) << "never created by the library";
    hostos::close_handle(handle);
}

TEST_F(LockFiles, OwnedByAThreadReentrantlyAndAcrossProcesses)
{
    create("ZEPA_EBOOK_QLX_STATE1.lock");
    const hostos::Handle first = hostos::open_mutex(kName);
    const hostos::Handle second = hostos::open_mutex(kName);
    ASSERT_TRUE(first != nullptr && second != nullptr);
    const auto other_thread_waits = [](std::uint32_t ms) {
        return std::async(std::launch::async, [ms] {
                   const hostos::Handle handle = hostos::open_mutex(kName);
                   const WaitResult result = hostos::wait(handle, ms);
                   if (result == WaitResult::Signaled)
                       hostos::release_mutex(handle);
                   hostos::close_handle(handle);
                   return result;
               })
            .get();
    };

    ASSERT_EQ(hostos::wait(first, hostos::kInfinite), WaitResult::Signaled);
    // The owning thread takes it again through any handle, as the last
    // close's disconnect does while holding it.
    ASSERT_EQ(hostos::wait(second, 0), WaitResult::Signaled);
    EXPECT_EQ(other_thread_waits(0), WaitResult::TimedOut);
    EXPECT_EQ(other_thread_waits(30), WaitResult::TimedOut);
    EXPECT_EQ(other_process_tries("ZEPA_EBOOK_QLX_STATE1.lock"), 1);

    hostos::release_mutex(second);
    EXPECT_EQ(other_thread_waits(0), WaitResult::TimedOut) << "one wait is still unmatched";
    EXPECT_EQ(other_process_tries("ZEPA_EBOOK_QLX_STATE1.lock"), 1);
    hostos::release_mutex(first);
    EXPECT_EQ(other_thread_waits(0), WaitResult::Signaled);
    EXPECT_EQ(other_process_tries("ZEPA_EBOOK_QLX_STATE1.lock"), 0);

    hostos::release_mutex(first);  // not owned: nothing happens
    EXPECT_EQ(other_thread_waits(0), WaitResult::Signaled);
    hostos::close_handle(first);
    hostos::close_handle(second);
}

}  // namespace
