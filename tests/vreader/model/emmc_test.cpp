// The eMMC: its nodes, its content through the block device, its faults, the
// raw-data table that locates its areas, and the display driver's waveform
// write into one of them.
#include "tests/support/process.hpp"
#include "tests/vreader/model/reader_fixture.hpp"
#include "vreader/model/devices/emmc/emmc_content.hpp"
#include "vreader/model/devices/emmc/rawdata_table.hpp"

#include <linux/fs.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <termios.h>

#include <csignal>

namespace vreader_test {
namespace {

constexpr std::uint64_t kWaveformOffset = 0x100000;
constexpr std::uint64_t kWaveformSize = 0x200000;

class EmmcTest : public ReaderTest {
protected:
    int open_emmc(int flags = O_RDWR, const char* path = "/dev/mmcblk2")
    {
        const int fd = sys::open(path, flags);
        EXPECT_GE(fd, 0) << path << ": " << std::strerror(errno);
        return fd;
    }

    std::string emmc(std::uint64_t offset, std::uint64_t length) const
    {
        std::string bytes;
        EXPECT_EQ(vreader::read_emmc(reader(), offset, length, bytes), 0);
        return bytes;
    }

    std::string table_path() const { return path_ + "/" + std::string(vreader::kRawdataParamFile); }

    std::string active_env() const { return vreader::active_boot_env(reader()); }
};

TEST_F(EmmcTest, NodesFollowTheConfiguredNamesAndUnit)
{
    struct stat st {};
    ASSERT_EQ(sys::stat("/dev/block/mmcblk2", &st), 0);
    EXPECT_TRUE(S_ISBLK(st.st_mode));
    EXPECT_EQ(major(st.st_rdev), 179u);
    EXPECT_EQ(minor(st.st_rdev), 64u) << "32 minors a unit, as the reader's kernel numbers them";
    EXPECT_EQ(sys::stat("/dev/mmcblk2", &st), 0);

    vreader::ReaderConfig config;
    config.emmc_unit = 0;
    config.emmc_nodes = vreader::EmmcNodes::Block;
    create(config);
    EXPECT_EQ(sys::open("/dev/mmcblk0", O_RDONLY), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(sys::close(open_emmc(O_RDONLY, "/dev/block/mmcblk0")), 0);
    EXPECT_EQ(testing_support::read_file(path_ + "/" + std::string(vreader::kMmcDevNoFile)), "0\n");
}

TEST_F(EmmcTest, TheTablePublishesFiveAreasAndTheActiveEnvironmentIsNormal)
{
    EXPECT_EQ(testing_support::read_file(table_path()),
              "Waveform Data:0x00100000:0x00200000\n"
              "Id Data:0x00400000:0x00020000\n"
              "Boot Env:0x00600000:0x00020000\n"
              "Normal Boot Env:0x00620000:0x00020000\n"
              "Recovery Boot Env:0x00640000:0x00020000\n");
    EXPECT_EQ(active_env(), "normal");
    EXPECT_EQ(emmc(0x640000, 18), std::string("bootmode=recovery\0", 18));

    // The model reads what stands in the file, broken lines aside.
    std::vector<std::string> unread;
    const auto areas = vreader::parse_rawdata_table(
        "Waveform Data:0x1000:0x2000\nId Data:4096:0x10\n:0x1:0x1\nno colons\nBoot Env:0x3000:0x40 \n", &unread);
    ASSERT_EQ(areas.size(), 1u);
    EXPECT_EQ(areas[0].offset, 0x1000u);
    EXPECT_EQ(unread.size(), 4u);
}

TEST_F(EmmcTest, BlockDeviceReadWriteSeekAndFlush)
{
    const int fd = open_emmc();
    const off_t end = static_cast<off_t>(config_.emmc_size);
    EXPECT_EQ(sys::lseek(fd, 0, SEEK_END), end);
    EXPECT_EQ(sys::lseek(fd, 1, SEEK_END), -1);
    EXPECT_EQ(errno, EINVAL);
    char byte = 'x';
    EXPECT_EQ(sys::write(fd, &byte, 1), -1);
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(sys::read(fd, &byte, 1), 0);

    ASSERT_EQ(sys::lseek(fd, 0x700000, SEEK_SET), 0x700000);
    ASSERT_EQ(sys::write(fd, "hello", 5), 5);
    EXPECT_EQ(sys::fsync(fd), 0);
    EXPECT_EQ(emmc(0x700000, 5), "hello");
    EXPECT_EQ(journal().back(), R"({"seq":)" + std::to_string(journal().size()) +
                                    R"(,"request":"fsync","path":"/dev/mmcblk2","result":0})");
    sys::close(fd);

    const int read_only = open_emmc(O_RDONLY);
    EXPECT_EQ(sys::write(read_only, "x", 1), -1);
    EXPECT_EQ(errno, EBADF);
    sys::close(read_only);
}

TEST_F(EmmcTest, WritesPastTheEndAndBlockRequestsAsTheKernelTakesThem)
{
    const int fd = open_emmc();
    const off_t end = static_cast<off_t>(config_.emmc_size);
    // The block layer: a write at or past the end is out of space, an empty
    // one is nothing wherever it starts, one across the end is cut there.
    const struct {
        off_t offset;
        std::size_t count;
        ssize_t result;
        int error;
    } writes[] = {{end, 1, -1, ENOSPC}, {end + 4096, 1, -1, ENOSPC}, {end + 4096, 0, 0, 0}, {end, 0, 0, 0},
                  {end - 2, 4, 2, 0}};
    for (const auto& w : writes) {
        errno = 0;
        EXPECT_EQ(sys::pwrite(fd, "abcd", w.count, w.offset), w.result) << w.offset - end << " " << w.count;
        EXPECT_EQ(errno, w.error) << w.offset - end << " " << w.count;
    }
    char back[4] = {};
    EXPECT_EQ(sys::pread(fd, back, sizeof back, end + 4096), 0);

    // Its size queries answer; the MMC driver refuses what it does not
    // know, a terminal's request included.
    const struct {
        unsigned long request;
        std::uint64_t value;
        std::size_t size;  // of what the kernel puts
    } queries[] = {
        {BLKGETSIZE64, config_.emmc_size, 8}, {BLKGETSIZE, config_.emmc_size / 512, sizeof(unsigned long)},
        {BLKSSZGET, 512, 4},  {BLKPBSZGET, 512, 4}, {BLKBSZGET, 4096, 4}, {BLKROGET, 0, 4},
    };
    for (const auto& q : queries) {
        std::uint8_t answer[8];
        std::memset(answer, 0xA5, sizeof answer);
        ASSERT_EQ(sys::ioctl(fd, q.request, answer), 0) << std::hex << q.request;
        std::uint64_t value = 0;
        std::memcpy(&value, answer, q.size);
        EXPECT_EQ(value, q.value) << std::hex << q.request;
        for (std::size_t i = q.size; i < sizeof answer; ++i)
            EXPECT_EQ(answer[i], 0xA5) << "written past the value of " << std::hex << q.request;
        EXPECT_EQ(sys::ioctl(fd, q.request, nullptr), -1);
        EXPECT_EQ(errno, EFAULT);
    }
    EXPECT_EQ(sys::ioctl(fd, 0x4600, back), -1);
    EXPECT_EQ(errno, EINVAL);
    termios t{};
    EXPECT_EQ(sys::tcgetattr(fd, &t), -1);
    EXPECT_EQ(errno, EINVAL);
    sys::close(fd);
}

TEST_F(EmmcTest, SharedMappingsReachTheImageAtPageAlignedOffsets)
{
    const int fd = open_emmc();
    void* map = sys::mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0x620000);
    ASSERT_NE(map, MAP_FAILED);
    EXPECT_EQ(std::memcmp(map, "bootmode=normal", 15), 0);
    std::memcpy(map, "BOOT", 4);
    ASSERT_EQ(sys::munmap(map, 4096), 0);
    EXPECT_EQ(emmc(0x620000, 4), "BOOT");

    EXPECT_EQ(sys::mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0x620001), MAP_FAILED);
    EXPECT_EQ(errno, EINVAL);
    // Past the end the mapping is made, as a block device's is, and the
    // first touch beyond the end raises SIGBUS.
    const off_t last_page = static_cast<off_t>(config_.emmc_size) - 4096;
    auto* past = static_cast<volatile char*>(sys::mmap(nullptr, 8192, PROT_READ, MAP_SHARED, fd, last_page));
    ASSERT_NE(past, MAP_FAILED);
    EXPECT_EQ(past[4095], 0);
    // A sanitizer catches the signal and reports it before it exits or,
    // with abort_on_error, aborts; qemu-user, whose guest memory is its own,
    // may hand the program SIGSEGV for it.
    const bool emulated = !testing_support::emulator_prefix().empty();
    const auto bus_error = [emulated](int status) {
        if (WIFSIGNALED(status))
            return WTERMSIG(status) == SIGBUS || WTERMSIG(status) == SIGABRT ||
                   (emulated && WTERMSIG(status) == SIGSEGV);
        return WIFEXITED(status) && WEXITSTATUS(status) != 0;
    };
    EXPECT_EXIT((void)past[4096], bus_error, "");
    sys::munmap(const_cast<char*>(past), 8192);
    sys::close(fd);
    const int read_only = open_emmc(O_RDONLY);
    EXPECT_EQ(sys::mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, read_only, 0), MAP_FAILED);
    EXPECT_EQ(errno, EACCES);
    sys::close(read_only);
}

TEST_F(EmmcTest, FaultsScopedToTheEmmcLeaveTheFramebufferAlone)
{
    testing_support::write_file(path_ + "/faults",
                                "mmcblk2:read EIO 1\nmmcblk2:write short 1\nmmcblk2:write lost 1\n"
                                "mmcblk2:fsync EIO 1\nmmcblk2:lseek ESPIPE 1\nmmcblk2:BLKGETSIZE64 EIO 1\n");
    const int fb = open_fb();
    const int fd = open_emmc();
    char bytes[8] = {};
    EXPECT_EQ(sys::read(fb, bytes, 8), 8);
    EXPECT_EQ(sys::read(fd, bytes, 8), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(sys::lseek(fd, 0x700000, SEEK_SET), -1);
    EXPECT_EQ(errno, ESPIPE);
    std::uint64_t size = 0;
    EXPECT_EQ(sys::ioctl(fd, BLKGETSIZE64, &size), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(sys::pwrite(fd, "abcdefgh", 8, 0x700000), 4);  // short
    EXPECT_EQ(sys::fsync(fd), -1);
    EXPECT_EQ(sys::fsync(fd), 0);
    EXPECT_EQ(emmc(0x700000, 8), std::string("abcd\0\0\0\0", 8));
    EXPECT_TRUE(journal()[journal().size() - 3].ends_with(R"("count":8,"result":4})"));
    // A lost write reports success and stores nothing; the next one is stored.
    EXPECT_EQ(sys::pwrite(fd, "ABCDEFGH", 8, 0x700000), 8);
    EXPECT_EQ(emmc(0x700000, 4), "abcd");
    EXPECT_EQ(sys::pwrite(fd, "ABCDEFGH", 8, 0x700000), 8);
    EXPECT_EQ(emmc(0x700000, 8), "ABCDEFGH");
    EXPECT_EQ(testing_support::read_file(path_ + "/faults"), "");

    // An unscoped fault fires on whichever node asks first.
    testing_support::write_file(path_ + "/faults", "read ENXIO 1\n");
    EXPECT_EQ(sys::read(fb, bytes, 8), -1);
    EXPECT_EQ(sys::read(fd, bytes, 8), 8);
    sys::close(fd);
    sys::close(fb);
}

TEST_F(EmmcTest, WaveformWriteStoresTheImageAtTheStartOfItsArea)
{
    const int fd = open_fb();
    struct {
        std::uint32_t size;
        const void* data;
    } record{};
    const std::string image = "WAVEFORM IMAGE";
    ASSERT_EQ(vreader::write_emmc(reader(), kWaveformOffset, std::string(32, 'o')), 0);
    record = {static_cast<std::uint32_t>(image.size()), image.data()};
    ASSERT_EQ(sys::ioctl(fd, kWriteWaveform, &record), 0);
    EXPECT_EQ(emmc(kWaveformOffset, 32), image + std::string(32 - image.size(), 'o'));
    EXPECT_TRUE(journal().back().ends_with(R"("request":"MXCFB_WRITE_WAVEFORM","size":14,"result":0})"));

    const std::string too_large(kWaveformSize + 1, 'w');
    const struct {
        std::uint32_t size;
        const void* data;
        int error;
    } refused[] = {{0, image.data(), EINVAL},
                   {4, nullptr, EINVAL},
                   {static_cast<std::uint32_t>(too_large.size()), too_large.data(), EINVAL}};
    for (const auto& bad : refused) {
        record = {bad.size, bad.data};
        EXPECT_EQ(sys::ioctl(fd, kWriteWaveform, &record), -1);
        EXPECT_EQ(errno, bad.error);
    }
    EXPECT_EQ(emmc(kWaveformOffset, image.size()), image);

    // The driver goes by the published table.
    testing_support::write_file(table_path(), "Waveform Data:0x00300000:0x00001000\n");
    record = {static_cast<std::uint32_t>(image.size()), image.data()};
    ASSERT_EQ(sys::ioctl(fd, kWriteWaveform, &record), 0);
    EXPECT_EQ(emmc(0x300000, image.size()), image);
    testing_support::write_file(table_path(), "Id Data:0x00400000:0x00020000\n");
    EXPECT_EQ(sys::ioctl(fd, kWriteWaveform, &record), -1);
    EXPECT_EQ(errno, ENODEV);
    sys::close(fd);
}

TEST_F(EmmcTest, ActiveEnvironmentIsTheSavedOneItEquals)
{
    ASSERT_EQ(vreader::write_emmc(reader(), 0x600000, vreader::saved_boot_env("recovery")), 0);
    EXPECT_EQ(active_env(), "recovery");
    ASSERT_EQ(vreader::write_emmc(reader(), 0x600000 + 0x1FFFF, "x"), 0);
    EXPECT_EQ(active_env(), "neither");
    testing_support::write_file(table_path(), "Boot Env:0x00600000:0x00020000\n");
    EXPECT_EQ(active_env(), "unknown");
}

}  // namespace
}  // namespace vreader_test
