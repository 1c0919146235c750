// The C-library binding against the real kernel, where no hardware is needed.
#include "platform/standard_output.hpp"
#include "platform/sys.hpp"
#include "platform/unique_fd.hpp"
#include "tests/support/process.hpp"
#include "tests/support/standard_input.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

using testing_support::TempDir;

namespace {

TEST(SysLibc, FileReadWriteSeekAndMapAtAnOffset)
{
    TempDir dir;
    const std::string path = dir.file("data");
    const long page = sysconf(_SC_PAGESIZE);
    std::string content(static_cast<size_t>(page) * 2, 'a');
    content.replace(static_cast<size_t>(page), 5, "PAGE2");

    sys::UniqueFd fd(sys::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600));
    ASSERT_TRUE(fd.valid());
    ASSERT_EQ(sys::write(fd.get(), content.data(), content.size()), static_cast<ssize_t>(content.size()));
    ASSERT_EQ(sys::fsync(fd.get()), 0);

    struct stat st {};
    ASSERT_EQ(sys::fstat(fd.get(), &st), 0);
    EXPECT_EQ(st.st_size, page * 2);
    ASSERT_EQ(sys::stat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    const sys::UniqueFd folder(sys::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY));
    EXPECT_TRUE(sys::UniqueFd(sys::openat(folder.get(), "data", O_RDONLY)).valid());

    char five[5];
    EXPECT_EQ(sys::pread(fd.get(), five, 5, page), 5);
    EXPECT_EQ(std::string(five, 5), "PAGE2");
    EXPECT_EQ(sys::lseek(fd.get(), page, SEEK_SET), page);
    EXPECT_EQ(sys::read(fd.get(), five, 5), 5);
    EXPECT_EQ(sys::pwrite(fd.get(), "ZZ", 2, 1), 2);

    sys::Mapping map(sys::mmap(nullptr, static_cast<size_t>(page), PROT_READ, MAP_SHARED, fd.get(), page),
                     static_cast<size_t>(page));
    ASSERT_TRUE(map.valid());
    EXPECT_EQ(std::memcmp(map.get(), "PAGE2", 5), 0);

    EXPECT_EQ(sys::mmap(nullptr, 0, PROT_READ, MAP_SHARED, fd.get(), 0), MAP_FAILED);
    EXPECT_EQ(errno, EINVAL);
}

// A program started with its standard input closed gets descriptor 0 for
// the first node it opens: its owner holds and closes it like any other.
TEST(SysLibc, AnOwnerOfDescriptorZeroClosesIt)
{
    testing_support::StandardInputAside input;
    ASSERT_TRUE(input.held());
    {
        const sys::UniqueFd zero(0);
        EXPECT_TRUE(zero.valid());
    }
    const bool closed = ::fcntl(0, F_GETFD) == -1 && errno == EBADF;
    input.restore();
    EXPECT_TRUE(closed);
}

// The reader's eMMC is larger than a 32-bit offset reaches: sizes, seeks
// and reads past 4 GiB go through whole, and so does a mapping past 2 GiB,
// where the raw-data table's 32-bit offsets end (a sparse file here).
TEST(SysLibc, OffsetsPastTwoAndFourGiB)
{
    TempDir dir;
    const std::string path = dir.file("large");
    const off_t two = off_t{1} << 31;
    const off_t four = off_t{1} << 32;
    sys::UniqueFd fd(sys::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600));
    ASSERT_TRUE(fd.valid());
    if (sys::pwrite(fd.get(), "FAR", 3, four + 1) != 3)
        GTEST_SKIP() << "this file system holds no sparse 4 GiB file";
    ASSERT_EQ(sys::pwrite(fd.get(), "MID", 3, two), 3);

    struct stat st {};
    ASSERT_EQ(sys::fstat(fd.get(), &st), 0);
    EXPECT_EQ(st.st_size, four + 4);
    EXPECT_EQ(sys::lseek(fd.get(), four + 1, SEEK_SET), four + 1);
    char three[3];
    EXPECT_EQ(sys::read(fd.get(), three, 3), 3);
    EXPECT_EQ(std::string(three, 3), "FAR");
    EXPECT_EQ(sys::pread(fd.get(), three, 3, two), 3);
    EXPECT_EQ(std::string(three, 3), "MID");
    const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    sys::Mapping map(sys::mmap(nullptr, page, PROT_READ, MAP_SHARED, fd.get(), two), page);
    ASSERT_TRUE(map.valid());
    EXPECT_EQ(std::memcmp(map.get(), "MID", 3), 0);
}

TEST(SysLibc, FailuresReportErrno)
{
    EXPECT_EQ(sys::open("/nonexistent/file", O_RDONLY), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(sys::close(-1), -1);
    EXPECT_EQ(errno, EBADF);
    char byte;
    EXPECT_EQ(sys::read(-1, &byte, 1), -1);
    EXPECT_EQ(errno, EBADF);
}

TEST(SysLibc, TerminalSettingsOnAPseudoTerminal)
{
    sys::UniqueFd master(posix_openpt(O_RDWR | O_NOCTTY));
    ASSERT_TRUE(master.valid());
    ASSERT_EQ(grantpt(master.get()), 0);
    ASSERT_EQ(unlockpt(master.get()), 0);
    sys::UniqueFd slave(sys::open(ptsname(master.get()), O_RDWR | O_NOCTTY));
    ASSERT_TRUE(slave.valid());

    termios settings{};
    ASSERT_EQ(sys::tcgetattr(slave.get(), &settings), 0);
    cfmakeraw(&settings);
    ASSERT_EQ(sys::cfsetispeed(&settings, B115200), 0);
    ASSERT_EQ(sys::cfsetospeed(&settings, B115200), 0);
    ASSERT_EQ(sys::tcsetattr(slave.get(), TCSANOW, &settings), 0);

    termios read_back{};
    ASSERT_EQ(sys::tcgetattr(slave.get(), &read_back), 0);
    EXPECT_EQ(cfgetospeed(&read_back), static_cast<speed_t>(B115200));
    EXPECT_EQ(read_back.c_lflag & ICANON, 0u);

    // Raw mode: bytes pass unchanged, and poll sees them arrive.
    ASSERT_EQ(sys::write(master.get(), "\xEE\x01", 2), 2);
    pollfd waiting{slave.get(), POLLIN, 0};
    ASSERT_EQ(sys::poll(&waiting, 1, 5000), 1);
    char bytes[2];
    ASSERT_EQ(sys::read(slave.get(), bytes, 2), 2);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xEE);

    // No descriptor, no terminal.
    EXPECT_EQ(sys::tcgetattr(-1, &settings), -1);
}

TEST(SysLibc, TextAttributes)
{
    TempDir dir;
    const std::string path = dir.file("attribute");
    testing_support::write_file(path, "");
    ASSERT_EQ(sys::write_text(path.c_str(), "/dev/mmcblk2p4\n"), 0);
    char text[8];
    EXPECT_EQ(sys::read_text(path.c_str(), text, sizeof text), 7);
    EXPECT_STREQ(text, "/dev/mm");
    char whole[64];
    EXPECT_EQ(sys::read_text(path.c_str(), whole, sizeof whole), 15);
    EXPECT_STREQ(whole, "/dev/mmcblk2p4\n");
    EXPECT_EQ(sys::read_text(dir.file("missing").c_str(), whole, sizeof whole), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(sys::write_text(dir.file("missing").c_str(), "1"), -1);
    EXPECT_EQ(sys::read_text(path.c_str(), whole, 0), -1);
    EXPECT_EQ(errno, EINVAL);
    // A folder opens but cannot be read; a full device takes nothing.
    EXPECT_EQ(sys::read_text(dir.path().c_str(), whole, sizeof whole), -1);
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(sys::write_text("/dev/full", "1"), -1);
    EXPECT_EQ(errno, ENOSPC);
    // An empty text is written; a write cut short, here by a file size limit, fails.
    EXPECT_EQ(sys::write_text(path.c_str(), ""), 0);
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit small{4, limit.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int written = sys::write_text(path.c_str(), "123456");
    const int error = errno;
    setrlimit(RLIMIT_FSIZE, &limit);
    EXPECT_EQ(written, -1);
    EXPECT_EQ(error, EIO);
}

TEST(SysLibc, NodesSocketsSleepsAndCommands)
{
    TempDir dir;
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(sys::mknod(fifo.c_str(), S_IFIFO | 0600, 0), 0);
    struct stat st {};
    ASSERT_EQ(sys::stat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(sys::unlink(fifo.c_str()), 0);
    EXPECT_EQ(sys::stat(fifo.c_str(), &st), -1);

    sys::UniqueFd socket(sys::socket(AF_UNIX, SOCK_DGRAM, 0));
    ASSERT_TRUE(socket.valid());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string name = dir.file("sock");
    std::strncpy(address.sun_path, name.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(sys::bind(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    sys::UniqueFd sender(::socket(AF_UNIX, SOCK_DGRAM, 0));
    ASSERT_EQ(sendto(sender.get(), "add@/block", 10, 0, reinterpret_cast<sockaddr*>(&address), sizeof address), 10);
    char message[32];
    EXPECT_EQ(sys::recv(socket.get(), message, sizeof message, 0), 10);

    EXPECT_EQ(sys::usleep(1000), 0);
    const timespec short_sleep{0, 1000};
    EXPECT_EQ(sys::nanosleep(&short_sleep, nullptr), 0);
    tms usage{};
    EXPECT_NE(sys::times(&usage), static_cast<clock_t>(-1));

    EXPECT_EQ(sys::getpid(), ::getpid());
    sys::sync();
    std::FILE* stream = sys::fopen(fifo.c_str(), "r");
    EXPECT_EQ(stream, nullptr) << "the node is gone";

    const int status = sys::system("exit 3");
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
}

// A write to standard output that failed is reported at the end even when
// the last flush, with nothing left to write, succeeds: as EIO, since the
// stream keeps no error number.
TEST(StandardOutput, AnEarlierFailedWriteIsReportedAsEio)
{
    const pid_t child = ::fork();
    if (child == 0) {
        // Open for reading only, the stream refuses the character and is marked.
        if (std::freopen("/dev/null", "r", stdout) == nullptr || std::freopen("/dev/null", "w", stderr) == nullptr)
            ::_exit(99);
        std::fputc('x', stdout);
        ::_exit(sys::flush_standard_output());
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), EIO);
}

// A detached thread's write to a pipe nobody reads fails instead of ending
// the program (tpinspect's timer may tick once more after its loop closed
// the pipe).
TEST(SysLibc, ADetachedThreadOutlivesThePipeItWritesTo)
{
    int ends[2];
    ASSERT_EQ(sys::pipe(ends), 0);
    ASSERT_EQ(::close(ends[0]), 0);
    static int result_errno = 0;
    static int write_end = 0;
    write_end = ends[1];
    int done[2];
    ASSERT_EQ(::pipe(done), 0);
    static int done_end = 0;
    done_end = done[1];
    ASSERT_EQ(sys::start_detached_thread(
                  [](void*) -> void* {
                      const char tick = 0;
                      result_errno = sys::write(write_end, &tick, 1) < 0 ? errno : 0;
                      ::write(done_end, &tick, 1);
                      return nullptr;
                  },
                  nullptr),
              0);
    char tick;
    ASSERT_EQ(::read(done[0], &tick, 1), 1);
    EXPECT_EQ(result_errno, EPIPE);
    for (const int fd : {ends[1], done[0], done[1]})
        ::close(fd);
}

// A program started with standard descriptors closed finds them open on
// /dev/null at main, so that its first open cannot take one of them.
TEST(SysLibc, ClosedStandardDescriptorsAreOpenOnDevNullAtMain)
{
    for (const int closed : {1, 2, 4, 7}) {
        std::string redirections;
        for (int fd = 0; fd <= 2; ++fd)
            if ((closed & (1 << fd)) != 0)
                redirections += " " + std::to_string(fd) + (fd == 0 ? "<&-" : ">&-");
        std::vector<std::string> command{"/bin/sh", "-c", "exec \"$@\"" + redirections, "sh"};
        for (const std::string& word : testing_support::emulator_prefix())
            command.push_back(word);
        command.push_back(STANDARD_DESCRIPTORS_PROBE);
        command.push_back(std::to_string(closed));
        EXPECT_EQ(testing_support::run_process(command).status, 0) << redirections;
    }
}

}  // namespace
