// The /sys attributes a model answers (the gadget's LUN attributes, the SPI
// controller's control_mode) as sysfs serves any attribute: seeks, the
// position a write moves on, an empty write, and the booleans the kernel
// reads.
#include "tests/vreader/model/reader_fixture.hpp"

#include <sys/socket.h>
#include <sys/sysmacros.h>

namespace vreader_test {
namespace {

const std::string kLun0 = "/sys/devices/platform/usb_mass_storage/lun0/";
const std::string kControlMode = "/sys/devices/platform/mxc_spi.2/spi3.2/control_mode";

class AttributeTest : public ReaderTest {
protected:
    // One store: open, write the bytes, close. 0 or the errno.
    int store(const std::string& path, const std::string& bytes)
    {
        const int fd = sys::open(path.c_str(), O_WRONLY);
        if (fd < 0)
            return errno;
        const ssize_t n = sys::write(fd, bytes.data(), bytes.size());
        const int error = n < 0 ? errno : 0;
        sys::close(fd);
        return error;
    }

    std::string shown(const std::string& path)
    {
        char text[256];
        return sys::read_text(path.c_str(), text, sizeof text) < 0 ? "error" : text;
    }
};

TEST_F(AttributeTest, ReadOnlyTakesTheBooleansTheKernelReads)
{
    const struct {
        std::string bytes;
        int error;
        const char* after;
    } stores[] = {
        {"y", 0, "1\n"},    {"N", 0, "0\n"},   {"Yes\n", 0, "1\n"}, {"off", 0, "0\n"}, {"ON", 0, "1\n"},
        {"f", 0, "0\n"},    {"true", 0, "1\n"}, {"0\n", 0, "0\n"},  {"1x", 0, "1\n"},
        {"2", EINVAL, "1\n"}, {"o", EINVAL, "1\n"}, {"ox", EINVAL, "1\n"}, {std::string(1, '\0'), EINVAL, "1\n"},
        {" 1", EINVAL, "1\n"}, {"", 0, "1\n"},  // an empty write stores nothing
    };
    for (const auto& s : stores) {
        EXPECT_EQ(store(kLun0 + "ro", s.bytes), s.error) << "'" << s.bytes << "'";
        EXPECT_EQ(shown(kLun0 + "ro"), s.after) << "'" << s.bytes << "'";
    }
    // A socket cannot be opened, so it is no medium.
    ASSERT_EQ(sys::mknod("/tmp/lun0", S_IFSOCK | 0600, 0), 0);
    EXPECT_EQ(store(kLun0 + "file", "/tmp/lun0"), ENXIO);
}

TEST_F(AttributeTest, SeeksAndWritesMoveThePositionAsOnAnyAttribute)
{
    for (const std::string& path : {kLun0 + "ro", kControlMode}) {
        const int fd = sys::open(path.c_str(), O_RDWR);
        ASSERT_GE(fd, 0) << path;
        char text[16] = {};
        const ssize_t n = sys::read(fd, text, sizeof text);
        ASSERT_GT(n, 0) << path;
        const struct {
            off_t offset;
            int whence;
            off_t result;
        } seeks[] = {{0, SEEK_END, 4096}, {-4096, SEEK_END, 0}, {1, SEEK_CUR, 1}, {-2, SEEK_CUR, -1},
                     {0, SEEK_SET, 0},    {5, 7, -1}};
        for (const auto& s : seeks)
            EXPECT_EQ(sys::lseek(fd, s.offset, s.whence), s.result) << path << " " << s.offset << " " << s.whence;
        char again[16] = {};
        EXPECT_EQ(sys::read(fd, again, sizeof again), n) << path << ": read again from the start";
        EXPECT_EQ(sys::pread(fd, again, sizeof again, 1), n - 1) << path;
        // A write moves the position on: a read after it starts there.
        ASSERT_EQ(sys::lseek(fd, 0, SEEK_SET), 0);
        ASSERT_EQ(sys::write(fd, text, static_cast<std::size_t>(n)), n) << path;
        EXPECT_EQ(sys::read(fd, again, sizeof again), 0) << path;
        EXPECT_EQ(sys::lseek(fd, 0, SEEK_CUR), n) << path;
        EXPECT_EQ(sys::close(fd), 0);
    }
    // An empty write stores nothing: the control mode keeps its word.
    const std::string before = shown(kControlMode);
    EXPECT_EQ(store(kControlMode, ""), 0);
    EXPECT_EQ(shown(kControlMode), before);
    EXPECT_EQ(store(kControlMode, "sleep"), EINVAL);
}

}  // namespace
}  // namespace vreader_test
