// The named mutexes as lock files: missing files, ownership by thread and
// re-entrancy as on Windows, exclusion across processes and users, the one
// lock directory of the machine, and files planted in it.
#include "hostlib/include/fendrac.h"
#include "hostlib/os/host_system.hpp"
#include "hostlib/os/lock_files.hpp"
#include "tests/support/child_exit.hpp"
#include "tests/support/standard_input.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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

constexpr const char* kName = FENDRAC_MUTEX_STATE1;
constexpr const char* kFile = FENDRAC_MUTEX_STATE1_NAME ".lock";
constexpr uid_t kNobody = 65534;

// Runs `job` in a child process, as user nobody when `as_nobody`, within
// two seconds; its exit status, -1 when it was killed or timed out.
template <typename Job>
int in_child(bool as_nobody, Job job)
{
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(2);
        if (as_nobody && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
            ::_exit(99);
        testing_support::end_child(job());
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

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
    create(kFile);
    const hostos::Handle handle = hostos::open_mutex(kName);
    ASSERT_NE(handle, nullptr);
    EXPECT_FALSE(fs::exists(dir_ / (std::string(kName) + ".lock"))) << "never created by the library";
    hostos::close_handle(handle);
}

TEST_F(LockFiles, OwnedByAThreadReentrantlyAndAcrossProcesses)
{
    create(kFile);
    const hostos::Handle first = hostos::open_mutex(kName);
    const hostos::Handle second = hostos::open_mutex(kName);
    ASSERT_TRUE(first != nullptr && second != nullptr);
    const auto other_thread_waits = [](std::uint32_t ms) {
        return std::async(std::launch::async,
                          [ms] {
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
    EXPECT_EQ(other_process_tries(kFile), 1);

    hostos::release_mutex(second);
    EXPECT_EQ(other_thread_waits(0), WaitResult::TimedOut) << "one wait is still unmatched";
    EXPECT_EQ(other_process_tries(kFile), 1);
    hostos::release_mutex(first);
    EXPECT_EQ(other_thread_waits(0), WaitResult::Signaled);
    EXPECT_EQ(other_process_tries(kFile), 0);

    hostos::release_mutex(first);  // not owned: nothing happens
    EXPECT_EQ(other_thread_waits(0), WaitResult::Signaled);
    hostos::close_handle(first);
    hostos::close_handle(second);
}

// A process without standard input makes and opens its lock file as
// descriptor 0, and lets it go like any other: once made, and once the
// file is made anew.
TEST_F(LockFiles, ALockFileHeldAsDescriptorZeroIsClosedWhenReplaced)
{
    testing_support::StandardInputAside input;
    ASSERT_TRUE(input.held());
    ::close(0);
    const bool made = hostos::create_mutex(kName) && ::fcntl(0, F_GETFD) == -1;
    hostos::close_handle(hostos::open_mutex(kName));
    const bool held = ::fcntl(0, F_GETFD) != -1;
    fs::remove(dir_ / kFile);
    create(kFile);
    hostos::close_handle(hostos::open_mutex(kName));
    const bool closed = ::fcntl(0, F_GETFD) == -1 && errno == EBADF;
    input.restore();
    EXPECT_TRUE(made) << "made and closed";
    EXPECT_TRUE(held);
    EXPECT_TRUE(closed);
}

TEST_F(LockFiles, NamesAndAWaitOnAFileAnotherProcessHolds)
{
    // A separator in a name becomes an underscore: a file in the folder.
    ASSERT_TRUE(hostos::create_mutex("Global\\a/b\\c"));
    EXPECT_TRUE(fs::is_regular_file(dir_ / "a_b_c.lock"));
    EXPECT_FALSE(hostos::create_mutex(nullptr));
    EXPECT_EQ(hostos::open_mutex(nullptr), nullptr);
    EXPECT_EQ(hostos::wait(nullptr, 0), WaitResult::Failed);

    // A timed wait tries again until its time is up, and gets the lock once
    // the other process lets go.
    create(kFile);
    const hostos::Handle handle = hostos::open_mutex(kName);
    int held[2], go[2];
    ASSERT_EQ(::pipe(held), 0);
    ASSERT_EQ(::pipe(go), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        char byte;
        const int fd = ::open((dir_ / kFile).c_str(), O_RDONLY);
        const bool locked = fd >= 0 && ::flock(fd, LOCK_EX) == 0 && ::write(held[1], "!", 1) == 1;
        const bool told = ::read(go[0], &byte, 1) == 1;  // holds the lock until then
        ::usleep(100000);                                  // and a little longer: the wait starts first
        testing_support::end_child(locked && told ? 0 : 1);
    }
    char byte;
    ASSERT_EQ(::read(held[0], &byte, 1), 1);
    EXPECT_EQ(hostos::wait(handle, 50), WaitResult::TimedOut);
    ASSERT_EQ(::write(go[1], "!", 1), 1);
    EXPECT_EQ(hostos::wait(handle, 5000), WaitResult::Signaled);
    hostos::release_mutex(handle);
    hostos::close_handle(handle);
    int status = -1;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (const int end : {held[0], held[1], go[0], go[1]})
        ::close(end);
}

TEST(LockDirectory, OneForEveryUserWhateverTheirEnvironment)
{
    // Root and every other user find the mutexes in the same folder, and a
    // user's own runtime folder does not take them elsewhere.
    const char* expected = hostos::lock_files::shared_by_all_users("/run/lock") ? "/run/lock"
                           : hostos::lock_files::shared_by_all_users("/tmp")    ? "/tmp"
                                                                                : "";
    char pattern[] = "/tmp/fendrac-runtime-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    ::unsetenv("FENDRAC_LOCK_DIR");
    ::setenv("XDG_RUNTIME_DIR", pattern, 1);
    EXPECT_EQ(hostos::lock_files::directory(), expected);
    if (::geteuid() == 0) {
        EXPECT_EQ(in_child(true, [expected] { return hostos::lock_files::directory() == expected ? 0 : 1; }), 0)
            << "another user's folder differs";
    }
    ::setenv("FENDRAC_LOCK_DIR", pattern, 1);
    EXPECT_EQ(hostos::lock_files::directory(), pattern) << "the override stays";
    ::unsetenv("FENDRAC_LOCK_DIR");
    ::unsetenv("XDG_RUNTIME_DIR");
    ::rmdir(pattern);
}

TEST_F(LockFiles, OnlyARootOwnedStickyFolderOpenToAllIsShared)
{
    struct Row {
        const char* name;
        mode_t mode;  // 0: a plain file
        bool shared;
    };
    const bool root = ::geteuid() == 0;
    const Row rows[] = {
        {"sticky, open to all (this user's)", 01777, root},
        {"open to all, not sticky", 0777, false},
        {"sticky, closed to others", 01755, false},
        {"a plain file", 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path path = dir_ / "candidate";
        fs::remove_all(path);
        if (row.mode == 0) {
            create("candidate");
        } else {
            ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
            ASSERT_EQ(::chmod(path.c_str(), row.mode), 0);
        }
        EXPECT_EQ(hostos::lock_files::shared_by_all_users(path.c_str()), row.shared);
    }
    EXPECT_FALSE(hostos::lock_files::shared_by_all_users((dir_ / "none").c_str()));
    EXPECT_TRUE(hostos::lock_files::shared_by_all_users("/tmp"));
}

TEST_F(LockFiles, APlantedFileIsNoMutexAndRedirectsNothing)
{
    // Whatever another user left under a mutex's name, the library neither
    // follows it nor waits on it: the mutex counts as missing, and the
    // debugger output says why.
    ::setenv("FENDRAC_DEBUG", "1", 1);
    const fs::path lock = dir_ / kFile;
    const fs::path elsewhere = dir_ / "elsewhere";
    struct Row {
        const char* name;
        std::function<void()> plant;
        const char* said;
    };
    const Row rows[] = {
        {"a symbolic link to a file not there", [&] { fs::create_symlink(elsewhere, lock); },
         "is a symbolic link: not used"},
        {"a symbolic link to a lock file",
         [&] {
             create("elsewhere");
             fs::create_symlink(elsewhere, lock);
         },
         "is a symbolic link: not used"},
        {"a FIFO", [&] { ASSERT_EQ(::mkfifo(lock.c_str(), 0666), 0); }, "is not a plain file: not used"},
        {"a directory", [&] { fs::create_directory(lock); }, "is not a plain file: not used"},
        {"a second link to another file",
         [&] {
             create("elsewhere");
             fs::create_hard_link(elsewhere, lock);
         },
         "has other links: not used"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(lock);
        fs::remove_all(elsewhere);
        row.plant();
        const bool existed = fs::exists(elsewhere);
        // In a child: a FIFO opened for reading would wait for a writer.
        testing::internal::CaptureStderr();
        EXPECT_EQ(in_child(false,
                           [] {
                               const hostos::Handle handle = hostos::open_mutex(kName);
                               return !hostos::create_mutex(kName) && handle == nullptr ? 0 : 1;
                           }),
                  0);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(row.said), std::string::npos) << said;
        EXPECT_EQ(fs::exists(elsewhere), existed) << "made through the link";
    }
}

TEST_F(LockFiles, EveryUserCanOpenWhatTheLibraryMakes)
{
    // Whatever the umask, a mutex made by one user is one every user opens
    // and locks; a narrow file of the same user is opened to all.
    const mode_t saved = ::umask(077);
    ASSERT_TRUE(hostos::create_mutex(kName));
    ::umask(saved);
    struct stat st {};
    ASSERT_EQ(::stat((dir_ / kFile).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u) << "readable by all, writable by its owner, nothing more";
    ASSERT_EQ(::chmod((dir_ / kFile).c_str(), 0600), 0);
    const hostos::Handle handle = hostos::open_mutex(kName);
    ASSERT_NE(handle, nullptr);
    hostos::close_handle(handle);
    ASSERT_EQ(::stat((dir_ / kFile).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    if (::geteuid() != 0)
        return;

    ASSERT_EQ(::chmod(dir_.c_str(), 01777), 0);
    // (A child's own descriptor: the one it inherits shares this process's lock.)
    const auto locks_as_nobody = [this] {
        return in_child(true, [this] {
            const int fd = ::open((dir_ / kFile).c_str(), O_RDONLY);
            return fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : 1;
        });
    };
    const hostos::Handle mine = hostos::open_mutex(kName);
    ASSERT_EQ(hostos::wait(mine, 0), WaitResult::Signaled);
    EXPECT_EQ(locks_as_nobody(), 1) << "held by root";
    hostos::release_mutex(mine);
    EXPECT_EQ(locks_as_nobody(), 0);
    hostos::close_handle(mine);

    // Another user's file that not everyone can read would split the users.
    ASSERT_EQ(::chown((dir_ / kFile).c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(::chmod((dir_ / kFile).c_str(), 0600), 0);
    EXPECT_EQ(hostos::open_mutex(kName), nullptr);
}

}  // namespace
