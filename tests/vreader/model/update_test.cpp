// Updates and panning: what reaches the panel, and what is refused.
#include "tests/vreader/model/reader_fixture.hpp"

namespace vreader_test {
namespace {

class UpdateTest : public ReaderTest {
protected:
    // A small panel keeps whole-screen checks quick.
    void SetUp() override
    {
        vreader::ReaderConfig config;
        config.panel_width = 40;
        config.panel_height = 30;
        create(config);
        fd_ = open_fb();
    }
    void TearDown() override
    {
        sys::close(fd_);
        ReaderTest::TearDown();
    }

    Update region(std::uint32_t left, std::uint32_t top, std::uint32_t width, std::uint32_t height)
    {
        Update u;
        u.left = left;
        u.top = top;
        u.width = width;
        u.height = height;
        return u;
    }

    int fd_ = -1;
};

TEST_F(UpdateTest, GrayStripesReachThePanelOnlyInTheRegion)
{
    fill_page(fd_, 0, [](std::uint32_t x, std::uint32_t) { return kGrayTable[x % 16]; });
    EXPECT_EQ(panel(), std::string(40 * 30, '\xFF'));  // memory alone shows nothing
    ASSERT_EQ(send(fd_, region(2, 5, 20, 10)), 0);
    for (std::uint32_t y = 0; y < 30; ++y)
        for (std::uint32_t x = 0; x < 40; ++x) {
            const bool inside = x >= 2 && x < 22 && y >= 5 && y < 15;
            ASSERT_EQ(panel_at(x, y), inside ? static_cast<int>(15 - x % 16) * 17 : 255) << x << "," << y;
        }
}

TEST_F(UpdateTest, ModesAndFlagsOnTheWholeScreen)
{
    fill_page(fd_, 0, [](std::uint32_t x, std::uint32_t) { return kGrayTable[x < 20 ? 4 : 11]; });
    Update u = region(0, 0, 40, 30);
    u.flags = 0x1;
    ASSERT_EQ(send(fd_, u), 0);
    EXPECT_EQ(panel_at(0, 0), 4 * 17);  // inverted level 11
    EXPECT_EQ(panel_at(39, 29), 11 * 17);
    u.flags = 0;
    u.waveform_mode = 4;
    ASSERT_EQ(send(fd_, u), 0);
    EXPECT_EQ(panel_at(0, 0), 255);
    EXPECT_EQ(panel_at(39, 29), 0);
    u.waveform_mode = 0;  // INIT clears to white whatever memory holds
    ASSERT_EQ(send(fd_, u), 0);
    EXPECT_EQ(panel(), std::string(40 * 30, '\xFF'));
}

TEST_F(UpdateTest, TheControllerReadsMemoryAtItsOwnStride)
{
    ASSERT_EQ(var(fd_).xres_virtual, 48u);
    fill_page(fd_, 0, [](std::uint32_t, std::uint32_t) { return std::uint16_t{0xFFFF}; });
    // A program that takes rows to be xres pixels long puts (5, 1) into the
    // padding at the end of row 0, which is never shown.
    const std::uint8_t black[2] = {0, 0};
    ASSERT_EQ(sys::pwrite(fd_, black, 2, (1 * 40 + 5) * 2), 2);
    put_pixel(fd_, 5, 2, 0x0000);
    ASSERT_EQ(send(fd_, region(0, 0, 40, 30)), 0);
    const std::string image = panel();
    EXPECT_EQ(std::count(image.begin(), image.end(), '\0'), 1);
    EXPECT_EQ(panel_at(5, 2), 0);
}

TEST_F(UpdateTest, RotatedScreensLandOnTheNativePanel)
{
    struct Case {
        std::uint32_t rotate, px, py;  // where screen (2, 3) shows on the 40x30 panel
    } cases[] = {{0, 2, 3}, {1, 36, 2}, {2, 37, 26}, {3, 3, 27}};
    for (const auto& c : cases) {
        fb_var_screeninfo v = var(fd_);
        v.rotate = c.rotate;
        ASSERT_EQ(sys::ioctl(fd_, kPutVar, &v), 0);
        fill_page(fd_, 0, [](std::uint32_t x, std::uint32_t y) {
            return x == 2 && y == 3 ? std::uint16_t{0} : std::uint16_t{0xFFFF};
        });
        ASSERT_EQ(send(fd_, region(0, 0, v.xres, v.yres)), 0);
        const std::string image = panel();
        EXPECT_EQ(std::count(image.begin(), image.end(), '\0'), 1) << "rotate " << c.rotate;
        EXPECT_EQ(panel_at(c.px, c.py), 0) << "rotate " << c.rotate;
    }
}

TEST_F(UpdateTest, PanningShowsTheOtherPageAndLaterUpdatesReadIt)
{
    fill_page(fd_, 0, [](std::uint32_t, std::uint32_t) { return std::uint16_t{0xFFFF}; });
    fill_page(fd_, 1, [](std::uint32_t, std::uint32_t) { return kGrayTable[12]; });
    fb_var_screeninfo v = var(fd_);
    v.yoffset = 30;
    ASSERT_EQ(sys::ioctl(fd_, kPan, &v), 0);
    EXPECT_EQ(var(fd_).yoffset, 30u);
    EXPECT_EQ(panel(), std::string(40 * 30, static_cast<char>(3 * 17)));

    put_pixel(fd_, 1, 1, 0xFFFF, 30);
    ASSERT_EQ(send(fd_, region(0, 0, 4, 4)), 0);
    EXPECT_EQ(panel_at(1, 1), 255);

    for (const std::uint32_t bad_y : {31u, 60u, 0xFFFFFFF0u}) {
        v.yoffset = bad_y;
        EXPECT_EQ(sys::ioctl(fd_, kPan, &v), -1) << bad_y;
        EXPECT_EQ(errno, EINVAL);
    }
    v.yoffset = 0;
    v.xoffset = 1;
    EXPECT_EQ(sys::ioctl(fd_, kPan, &v), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(var(fd_).yoffset, 30u);
}

TEST_F(UpdateTest, RefusedRecordsChangeNothing)
{
    fill_page(fd_, 0, [](std::uint32_t, std::uint32_t) { return std::uint16_t{0}; });
    std::vector<Update> refused;
    Update u = region(0, 0, 40, 30);
    u.update_mode = 2;
    refused.push_back(u);
    u = region(0, 0, 40, 30);
    u.waveform_mode = 256;
    refused.push_back(u);
    refused.push_back(region(1, 0, 40, 30));
    refused.push_back(region(0, 25, 10, 6));
    refused.push_back(region(0xFFFFFFFFu, 0, 2, 2));  // -1 as a position
    refused.push_back(region(0, 2, 5, 0xFFFFFFFFu));
    for (const Update& r : refused) {
        EXPECT_EQ(send(fd_, r), -1);
        EXPECT_EQ(errno, EINVAL);
    }
    EXPECT_EQ(panel(), std::string(40 * 30, '\xFF'));

    // Empty regions are accepted and draw nothing; the automatic waveform and
    // any mode up to 255 are accepted.
    EXPECT_EQ(send(fd_, region(40, 30, 0, 0)), 0);
    EXPECT_EQ(send(fd_, region(0, 0, 0, 30)), 0);
    EXPECT_EQ(panel(), std::string(40 * 30, '\xFF'));
    u = region(0, 0, 1, 1);
    u.waveform_mode = 257;
    EXPECT_EQ(send(fd_, u), 0);
    u.waveform_mode = 255;
    EXPECT_EQ(send(fd_, u), 0);
    EXPECT_EQ(sys::ioctl(fd_, kSendUpdate, nullptr), -1);
    EXPECT_EQ(errno, EFAULT);
}

}  // namespace
}  // namespace vreader_test
