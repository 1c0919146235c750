// The platform layer's virtual binding: where paths lead, the virtual clock,
// what is not modelled, and the reader a program must be started on.
#include "tests/support/json_line.hpp"
#include "tests/vreader/model/reader_fixture.hpp"

#include <linux/netlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <thread>

namespace vreader_test {
namespace {

using BindingTest = ReaderTest;

TEST_F(BindingTest, DeviceTreeHoldsOnlyModelledNodes)
{
    // A reader without /dev/graphics: no path passes through it, not even
    // to come back with "..", as the kernel's walk fails at the name.
    for (const char* path : {"/dev/null", "/dev/ttymxc2", "/dev/graphics/fb0", "/dev/fb1", "/dev/graphics/../fb0"}) {
        EXPECT_EQ(sys::open(path, O_RDONLY), -1) << path;
        EXPECT_EQ(errno, ENOENT) << path;
    }
    struct stat st {};
    EXPECT_EQ(sys::stat("/dev/null", &st), -1);
    EXPECT_EQ(sys::unlink("/dev/fb0"), -1);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(sys::unlink("/dev/zero"), -1);
    EXPECT_EQ(errno, ENOENT);
    // Spellings of the same node.
    for (const char* path : {"/dev//fb0", "/dev/./fb0", "/dev/input/../fb0", "//dev/fb0"}) {
        const int fd = sys::open(path, O_RDWR);
        EXPECT_GE(fd, 0) << path;
        sys::close(fd);
    }
    EXPECT_EQ(errno, ENOENT) << "no call that worked sets errno to 0, as in the C library";
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path("/");
    const int relative = sys::open("dev/fb0", O_RDWR);
    std::filesystem::current_path(cwd);
    EXPECT_GE(relative, 0);
    sys::close(relative);
}

TEST_F(BindingTest, GraphicsNodeWhenTheReaderHasOne)
{
    vreader::ReaderConfig config;
    config.graphics_node = true;
    create(config);
    const int fd = sys::open("/dev/graphics/fb0", O_RDWR);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(var(fd).xres, 600u);
    sys::close(fd);
    struct stat st {};
    ASSERT_EQ(sys::stat("/dev/graphics", &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

TEST_F(BindingTest, SysAndProcAreTheReadersOwnFilesAndTheRestIsTheHost)
{
    std::filesystem::create_directories(path_ + "/sys/class/demo");
    testing_support::write_file(path_ + "/sys/class/demo/mode", "1\n");
    char text[16];
    EXPECT_EQ(sys::read_text("/sys/class/demo/mode", text, sizeof text), 2);
    EXPECT_STREQ(text, "1\n");
    EXPECT_EQ(sys::write_text("/sys/class/demo/mode", "0"), 0);
    EXPECT_EQ(testing_support::read_file(path_ + "/sys/class/demo/mode"), "0");
    EXPECT_EQ(sys::read_text("/proc/cmdline", text, sizeof text), -1);
    EXPECT_EQ(errno, ENOENT);

    const std::string host = dir_.file("host.txt");
    const int fd = sys::open(host.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(sys::write(fd, "abc", 3), 3);
    EXPECT_EQ(sys::close(fd), 0);
    EXPECT_EQ(testing_support::read_file(host), "abc");
    EXPECT_EQ(sys::unlink(host.c_str()), 0);
}

TEST_F(BindingTest, SleepsAdvanceTheVirtualClockAtOnce)
{
    tms t{};
    const clock_t start = sys::times(&t);
    EXPECT_EQ(sys::usleep(250000), 0);
    const timespec second{1, 500000000};
    EXPECT_EQ(sys::nanosleep(&second, nullptr), 0);
    EXPECT_EQ(sys::poll(nullptr, 0, 30), 0);
    EXPECT_EQ(sys::times(&t) - start, 25 + 150 + 3);
    const timespec bad{0, 1000000000};
    EXPECT_EQ(sys::nanosleep(&bad, nullptr), -1);
    EXPECT_EQ(errno, EINVAL);
    // Waiting for nothing, for ever, can only end with a signal.
    EXPECT_EQ(sys::poll(nullptr, 0, -1), -1);
    EXPECT_EQ(errno, EINTR);

    const std::vector<std::string> expected = {
        R"({"seq":1,"request":"usleep","usec":250000,"result":0})",
        R"({"seq":2,"request":"nanosleep","sec":1,"nsec":500000000,"result":0})",
        R"({"seq":3,"request":"poll","nfds":0,"timeout":30,"result":0})",
        R"({"seq":4,"request":"poll","nfds":0,"timeout":-1,"result":-1,"errno":4})",
    };
    EXPECT_EQ(journal(), expected);

    next_run();
    EXPECT_EQ(sys::times(nullptr), ticks_after_boot(0));

    // A polling loop's sleeps are written once, then counted.
    for (int i = 0; i < 5; ++i)
        sys::usleep(10);
    sys::usleep(20);
    sys::usleep(10);
    next_run();
    const auto lines = journal();
    EXPECT_EQ(std::vector<std::string>(lines.end() - 4, lines.end()),
              (std::vector<std::string>{R"({"seq":5,"request":"usleep","usec":10,"result":0})",
                                        R"({"seq":6,"request":"usleep","usec":10,"repeated":4,"result":0})",
                                        R"({"seq":7,"request":"usleep","usec":20,"result":0})",
                                        R"({"seq":8,"request":"usleep","usec":10,"result":0})"}));
}

TEST_F(BindingTest, PollMixesModelledAndRealDescriptors)
{
    int pipe_fds[2];
    ASSERT_EQ(::pipe(pipe_fds), 0);
    const int fd = open_fb();
    pollfd fds[2] = {{pipe_fds[0], POLLIN, 0}, {fd, POLLOUT, 0}};
    EXPECT_EQ(sys::poll(fds, 2, -1), 1);  // the framebuffer is always ready
    EXPECT_EQ(fds[0].revents, 0);
    EXPECT_EQ(fds[1].revents, POLLOUT);
    ASSERT_EQ(::write(pipe_fds[1], "x", 1), 1);
    EXPECT_EQ(sys::poll(fds, 2, -1), 2);
    EXPECT_EQ(fds[0].revents, POLLIN);
    EXPECT_EQ(sys::poll(fds, 1, 1000), 1);
    sys::close(fd);
    ::close(pipe_fds[0]);
    ::close(pipe_fds[1]);
}

TEST_F(BindingTest, WhatIsNotModelledSaysSo)
{
    EXPECT_EQ(sys::socket(AF_NETLINK, SOCK_DGRAM, 0), -1);  // routing: only uevents are modelled
    EXPECT_EQ(errno, ENOSYS);
    EXPECT_EQ(sys::mknod("/dev/sda", S_IFBLK | 0600, 0), -1);
    EXPECT_EQ(errno, ENOSYS);
    EXPECT_EQ(sys::system("true"), 127 << 8);  // recorded, never run
    EXPECT_EQ(journal().front(),
              R"({"seq":1,"request":"socket","domain":16,"type":2,"protocol":0,"result":-1,"errno":38})");
    EXPECT_EQ(journal().size(), 3u);
}

TEST_F(BindingTest, FsyncAnswersAsEachNodesDriverDoes)
{
    // Memory and the eMMC take a flush, and sysfs says it has nothing to
    // flush; a driver with no flush of its own refuses it with EINVAL.
    const struct {
        const char* path;
        int error;
    } nodes[] = {
        {"/dev/fb0", 0},
        {"/dev/mmcblk2", 0},
        {"/sys/devices/platform/usb_mass_storage/lun0/ro", 0},
        {"/sys/devices/platform/mxc_spi.2/spi3.2/control_mode", 0},
        {"/dev/ttymxc1", EINVAL},
        {"/dev/ttyGS0", EINVAL},
        {"/dev/ttyUSB0", EINVAL},
        {"/dev/input/event0", EINVAL},
        {"/dev/sub_cpu", EINVAL},
        {"/dev/melgrin", EINVAL},
    };
    for (const auto& node : nodes) {
        const int fd = sys::open(node.path, O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0) << node.path << ": " << std::strerror(errno);
        errno = 0;
        EXPECT_EQ(sys::fsync(fd), node.error == 0 ? 0 : -1) << node.path;
        EXPECT_EQ(errno, node.error) << node.path;
        sys::close(fd);
    }
    for (const auto& [domain, protocol] : {std::pair<int, int>{AF_INET, 0}, {AF_NETLINK, NETLINK_KOBJECT_UEVENT}}) {
        const int fd = sys::socket(domain, SOCK_DGRAM, protocol);
        EXPECT_EQ(sys::fsync(fd), -1) << domain;
        EXPECT_EQ(errno, EINVAL) << domain;
        sys::close(fd);
    }
}

TEST_F(BindingTest, ConcurrentThreadsShareOneConsistentJournal)
{
    const int fd = open_fb();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 25; ++i) {
                std::int32_t temperature = 0;
                EXPECT_EQ(sys::ioctl(fd, kGetPmicTemperature, &temperature), 0);
                EXPECT_EQ(sys::usleep(1), 0);
            }
        });
    for (auto& thread : threads)
        thread.join();
    sys::close(fd);
    next_run();
    const auto lines = journal();
    // Sleeps of two threads that follow each other are written once, with a
    // count: every request is there, one way or the other.
    long long requests = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].rfind("{\"seq\":" + std::to_string(i + 1) + ",", 0), 0u) << lines[i];
        const testing_support::JsonLine line(lines[i]);
        requests += line.has("repeated") ? line.number("repeated") : 1;
    }
    EXPECT_EQ(requests, 202);
}

using BindingDeathTest = ReaderTest;

TEST_F(BindingDeathTest, AProgramStartedWithoutAReaderIsToldHowToRunIt)
{
    EXPECT_EXIT(
        {
            ::unsetenv("VREADER_DIR");
            vreader::restart_virtual_process();
            sys::open("/dev/fb0", O_RDWR);
        },
        ::testing::ExitedWithCode(125), "vreader run DIR PROGRAM");
    EXPECT_EXIT(
        {
            ::setenv("VREADER_DIR", dir_.path().c_str(), 1);  // a directory, not a reader
            vreader::restart_virtual_process();
            sys::usleep(1);
        },
        ::testing::ExitedWithCode(125), "not a virtual reader");
    // Ordinary files need no reader.
    ::unsetenv("VREADER_DIR");
    vreader::restart_virtual_process();
    const int fd = sys::open(dir_.file("plain").c_str(), O_WRONLY | O_CREAT, 0644);
    EXPECT_GE(fd, 0);
    sys::close(fd);
}

}  // namespace
}  // namespace vreader_test
