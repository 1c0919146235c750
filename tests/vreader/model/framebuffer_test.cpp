// The framebuffer node: geometry, rotation, memory access and the
// controller's settings.
#include "tests/vreader/model/reader_fixture.hpp"

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace vreader_test {
namespace {

using FramebufferTest = ReaderTest;

TEST_F(FramebufferTest, GeometryAndFixedInfo)
{
    const int fd = open_fb();
    const fb_var_screeninfo v = var(fd);
    EXPECT_EQ(v.xres, 600u);
    EXPECT_EQ(v.yres, 800u);
    EXPECT_EQ(v.xres_virtual, 608u);
    EXPECT_EQ(v.yres_virtual, 1600u);
    EXPECT_EQ(v.bits_per_pixel, 16u);
    EXPECT_EQ(v.red.offset, 11u);
    EXPECT_EQ(v.red.length, 5u);
    EXPECT_EQ(v.green.offset, 5u);
    EXPECT_EQ(v.green.length, 6u);
    EXPECT_EQ(v.blue.offset, 0u);
    EXPECT_EQ(v.blue.length, 5u);
    EXPECT_EQ(v.transp.length, 0u);
    EXPECT_EQ(v.rotate, 0u);

    fb_fix_screeninfo f{};
    ASSERT_EQ(sys::ioctl(fd, kGetFix, &f), 0);
    EXPECT_STREQ(f.id, "epdc");
    EXPECT_EQ(f.line_length, 1216u);
    EXPECT_EQ(f.smem_len, 1945600u);  // 608 * 1600 * 2, a whole number of pages
    EXPECT_EQ(f.smem_start, 0x9C000000ul);
    EXPECT_EQ(f.type, static_cast<std::uint32_t>(FB_TYPE_PACKED_PIXELS));
    EXPECT_EQ(f.visual, static_cast<std::uint32_t>(FB_VISUAL_TRUECOLOR));
    EXPECT_EQ(sys::close(fd), 0);
}

TEST_F(FramebufferTest, OddGeometryRoundsMemoryToPagesForBothOrientations)
{
    vreader::ReaderConfig config;
    config.panel_width = 30;
    config.panel_height = 20;
    config.stride_pad = 3;
    create(config);
    const int fd = open_fb();
    fb_fix_screeninfo f{};
    ASSERT_EQ(sys::ioctl(fd, kGetFix, &f), 0);
    // Portrait needs (20 + 3) * 60 * 2 = 2760 bytes, landscape (30 + 3) * 40 * 2 = 2640.
    EXPECT_EQ(f.smem_len, 4096u);
    EXPECT_EQ(f.line_length, 66u);
}

TEST_F(FramebufferTest, RotationSwapsTheScreenAndResetsThePage)
{
    const int fd = open_fb();
    fb_var_screeninfo v = var(fd);
    v.yoffset = 800;
    ASSERT_EQ(sys::ioctl(fd, kPan, &v), 0);

    v.rotate = 1;
    ASSERT_EQ(sys::ioctl(fd, kPutVar, &v), 0);
    // The resulting settings come back to the caller.
    EXPECT_EQ(v.xres, 800u);
    EXPECT_EQ(v.yres, 600u);
    EXPECT_EQ(v.xres_virtual, 808u);
    EXPECT_EQ(v.yres_virtual, 1200u);
    EXPECT_EQ(v.yoffset, 0u);
    EXPECT_EQ(var(fd).xres, 800u);
    fb_fix_screeninfo f{};
    ASSERT_EQ(sys::ioctl(fd, kGetFix, &f), 0);
    EXPECT_EQ(f.line_length, 1616u);
    EXPECT_EQ(f.smem_len, 1945600u);

    fb_var_screeninfo bad = var(fd);
    bad.rotate = 4;
    EXPECT_EQ(sys::ioctl(fd, kPutVar, &bad), -1);
    EXPECT_EQ(errno, EINVAL);
    bad = var(fd);
    bad.bits_per_pixel = 32;
    EXPECT_EQ(sys::ioctl(fd, kPutVar, &bad), -1);
    EXPECT_EQ(errno, EINVAL);
    // A test activation reports the result and changes nothing.
    fb_var_screeninfo test = var(fd);
    test.rotate = 2;
    test.activate = FB_ACTIVATE_TEST;
    ASSERT_EQ(sys::ioctl(fd, kPutVar, &test), 0);
    EXPECT_EQ(test.rotate, 2u);
    EXPECT_EQ(var(fd).rotate, 1u);
}

TEST_F(FramebufferTest, MappingBoundsAndAccess)
{
    const int fd = open_fb();
    const size_t size = 1945600;
    void* whole = sys::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ASSERT_NE(whole, MAP_FAILED);
    // What the program writes through the mapping is the node's memory.
    static_cast<std::uint8_t*>(whole)[size - 1] = 0x5A;
    std::uint8_t byte = 0;
    ASSERT_EQ(sys::pread(fd, &byte, 1, static_cast<off_t>(size - 1)), 1);
    EXPECT_EQ(byte, 0x5A);
    EXPECT_EQ(sys::munmap(whole, size), 0);

    void* tail = sys::mmap(nullptr, size - 4096, PROT_READ, MAP_SHARED, fd, 4096);
    ASSERT_NE(tail, MAP_FAILED);
    EXPECT_EQ(static_cast<std::uint8_t*>(tail)[size - 4097], 0x5A);
    EXPECT_EQ(sys::munmap(tail, size - 4096), 0);

    struct Bad {
        size_t length;
        off_t offset;
    } bad[] = {{size + 1, 0}, {size, 4096}, {4096, 100}, {0, 0}, {4096, -4096}};
    for (const auto& b : bad) {
        EXPECT_EQ(sys::mmap(nullptr, b.length, PROT_READ, MAP_SHARED, fd, b.offset), MAP_FAILED)
            << b.length << "@" << b.offset;
        EXPECT_EQ(errno, EINVAL);
    }
    const int read_only = open_fb(O_RDONLY);
    EXPECT_EQ(sys::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, read_only, 0), MAP_FAILED);
    EXPECT_EQ(errno, EACCES);
    void* readable = sys::mmap(nullptr, size, PROT_READ, MAP_SHARED, read_only, 0);
    EXPECT_NE(readable, MAP_FAILED);
    sys::munmap(readable, size);
    // The mapping outlives the descriptor.
    void* kept = sys::mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ASSERT_NE(kept, MAP_FAILED);
    EXPECT_EQ(sys::close(fd), 0);
    static_cast<std::uint8_t*>(kept)[0] = 1;
    EXPECT_EQ(sys::munmap(kept, 4096), 0);
    sys::close(read_only);
}

TEST_F(FramebufferTest, ReadWriteSeekAndNodeIdentity)
{
    const int fd = open_fb();
    const char text[] = "pixels";
    EXPECT_EQ(sys::lseek(fd, 1945596, SEEK_SET), 1945596);
    EXPECT_EQ(sys::write(fd, text, 6), 4);  // cut at the end of memory
    EXPECT_EQ(sys::write(fd, text, 6), -1);
    EXPECT_EQ(errno, ENOSPC);
    char back[8] = {};
    EXPECT_EQ(sys::pread(fd, back, sizeof back, 1945596), 4);
    EXPECT_EQ(std::string(back, 4), "pixe");
    EXPECT_EQ(sys::read(fd, back, sizeof back), 0);

    struct stat st {};
    ASSERT_EQ(sys::fstat(fd, &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_EQ(major(st.st_rdev), 29u);
    EXPECT_EQ(minor(st.st_rdev), 0u);
    ASSERT_EQ(sys::stat("/dev/fb0", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    termios t{};
    EXPECT_EQ(sys::tcgetattr(fd, &t), -1);
    EXPECT_EQ(errno, ENOTTY);
    EXPECT_EQ(sys::tcsetattr(fd, TCSANOW, &t), -1);
    EXPECT_EQ(errno, ENOTTY);

    const int read_only = open_fb(O_RDONLY);
    EXPECT_EQ(sys::write(read_only, text, 1), -1);
    EXPECT_EQ(errno, EBADF);
    sys::close(read_only);
    sys::close(fd);
}

TEST_F(FramebufferTest, SeeksAndWritesPastTheMemoryAsTheFramebufferLayerTakesThem)
{
    const int fd = open_fb();
    fb_fix_screeninfo fix{};
    ASSERT_EQ(sys::ioctl(fd, kGetFix, &fix), 0);
    const off_t size = fix.smem_len;
    // The layer's seek is a character device's: SEEK_END counts from the
    // node's size, 0, and the position may go past the memory.
    const struct {
        off_t offset;
        int whence;
        off_t result;
    } seeks[] = {{0, SEEK_END, 0}, {-4, SEEK_END, -1}, {4, SEEK_END, 4}, {size + 4096, SEEK_SET, size + 4096}};
    for (const auto& s : seeks)
        EXPECT_EQ(sys::lseek(fd, s.offset, s.whence), s.result) << s.offset << " " << s.whence;
    // A write starting past the memory is too large whatever its count; at
    // its end only an empty one passes.
    const struct {
        off_t offset;
        std::size_t count;
        ssize_t result;
        int error;
    } writes[] = {{size + 1, 1, -1, EFBIG}, {size + 1, 0, -1, EFBIG}, {size, 1, -1, ENOSPC}, {size, 0, 0, 0}};
    for (const auto& w : writes) {
        errno = 0;
        EXPECT_EQ(sys::pwrite(fd, "ab", w.count, w.offset), w.result) << w.offset - size << " " << w.count;
        EXPECT_EQ(errno, w.error) << w.offset - size << " " << w.count;
    }
    sys::close(fd);
}

TEST_F(FramebufferTest, ControllerSettings)
{
    const int fd = open_fb();
    std::uint32_t vcom = 0;
    ASSERT_EQ(sys::ioctl(fd, kGetVcom, &vcom), 0);
    EXPECT_EQ(vcom, 1250000u);
    std::uint32_t new_vcom = 3000000000u;  // no range check
    ASSERT_EQ(sys::ioctl(fd, kSetVcom, &new_vcom), 0);
    ASSERT_EQ(sys::ioctl(fd, kGetVcom, &vcom), 0);
    EXPECT_EQ(vcom, 3000000000u);

    std::int32_t temperature = 0;
    ASSERT_EQ(sys::ioctl(fd, kGetPmicTemperature, &temperature), 0);
    EXPECT_EQ(temperature, 25);
    std::int32_t settings[] = {-7, 1000};
    EXPECT_EQ(sys::ioctl(fd, kSetTemperature, &settings[0]), 0);
    EXPECT_EQ(sys::ioctl(fd, kSetPwrdownDelay, &settings[1]), 0);

    std::uint32_t scheme = 2;
    EXPECT_EQ(sys::ioctl(fd, kSetUpdateScheme, &scheme), 0);
    scheme = 3;
    EXPECT_EQ(sys::ioctl(fd, kSetUpdateScheme, &scheme), -1);
    EXPECT_EQ(errno, EINVAL);

    std::uint8_t flag = 1;
    EXPECT_EQ(sys::ioctl(fd, kSetPanelInitFlag, &flag), 0);
    flag = 2;
    EXPECT_EQ(sys::ioctl(fd, kSetPanelInitFlag, &flag), -1);
    EXPECT_EQ(errno, EINVAL);

    std::uint8_t version[10] = {};
    ASSERT_EQ(sys::ioctl(fd, kGetWfVersion, version), 0);
    EXPECT_EQ(version[0], 0x3C);

    EXPECT_EQ(sys::ioctl(fd, kGetVcom, nullptr), -1);
    EXPECT_EQ(errno, EFAULT);

    const std::string kept = state();
    EXPECT_NE(kept.find("default_temperature=-7\n"), std::string::npos);
    EXPECT_NE(kept.find("pwrdown_delay=1000\n"), std::string::npos);
    EXPECT_NE(kept.find("update_scheme=2\n"), std::string::npos);
    EXPECT_NE(kept.find("panel_init_flag=1\n"), std::string::npos);
    EXPECT_NE(kept.find("vcom=3000000000\n"), std::string::npos);
    sys::close(fd);
}

TEST_F(FramebufferTest, StandbyScreenAndUnknownRequests)
{
    const int fd = open_fb();
    fb_var_screeninfo v = var(fd);
    v.rotate = 3;
    ASSERT_EQ(sys::ioctl(fd, kPutVar, &v), 0);
    std::vector<std::uint16_t> image(800 * 600);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint16_t>(i * 7);
    std::uintptr_t address = reinterpret_cast<std::uintptr_t>(image.data());
    ASSERT_EQ(sys::ioctl(fd, kWriteStandby, &address), 0);
    const std::string stored = testing_support::read_file(path_ + "/standby.raw");
    ASSERT_EQ(stored.size(), image.size() * 2);
    EXPECT_EQ(std::memcmp(stored.data(), image.data(), stored.size()), 0);
    EXPECT_NE(state().find("standby=yes\nstandby_width=800\nstandby_height=600\n"), std::string::npos);
    // Nothing is drawn.
    EXPECT_EQ(panel(), std::string(600 * 800, '\xFF'));

    std::uint8_t unknown[16] = {4};
    EXPECT_EQ(sys::ioctl(fd, 0x4004464Bul, unknown), -1);
    EXPECT_EQ(errno, ENOTTY);
    EXPECT_EQ(journal().back(), R"({"seq":)" + std::to_string(journal().size()) +
                                    R"(,"request":"unknown","number":"0x4004464B","result":-1,"errno":25})");
    sys::close(fd);
}

}  // namespace
}  // namespace vreader_test
