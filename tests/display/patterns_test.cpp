// Gray fills, test patterns and the framebuffer copy on a buffer of the
// reader's own screen size.
#include "display/drawing.hpp"
#include "display/graytable.hpp"
#include "display/morvane_state.hpp"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

using epdc::graytable;

class Patterns : public ::testing::Test {
protected:
    void use_screen(int width, int height)
    {
        morvane::ResX = width;
        morvane::ResY = height;
        buffer_.assign(static_cast<size_t>(width + 8) * height * 2, 0x1234);
        morvane::imgbuf = buffer_.data();
        morvane::imgbuf_len = buffer_.size() * 2;
    }
    void TearDown() override
    {
        morvane::imgbuf = nullptr;
        morvane::imgbuf_len = 0;
    }
    uint16_t at(int x, int y) const { return buffer_[static_cast<size_t>(y) * morvane::ResX + x]; }

    std::vector<uint16_t> buffer_;
};

TEST_F(Patterns, GrayTableRunsFromLightestToBlack)
{
    const uint16_t expected[16] = {0xF79E, 0xE71C, 0xD69A, 0xC618, 0xB596, 0xA514, 0x9492, 0x8410,
                                   0x738E, 0x630C, 0x528A, 0x4208, 0x3186, 0x2104, 0x1082, 0x0000};
    for (int level = 0; level < 16; ++level)
        EXPECT_EQ(graytable[level], expected[level]) << "level " << level;
}

// A driver's width or height of 0, or past INT_MAX (negative here): no
// picture to draw, whatever the image buffer holds.
TEST_F(Patterns, AScreenWithoutASizeHasNoPicture)
{
    for (const auto& [width, height] : {std::pair{0, 4}, {-6, 4}, {6, 0}, {6, -4}}) {
        morvane::ResX = width;
        morvane::ResY = height;
        EXPECT_EQ(morvane::picture_pixels(), 0u) << width << "x" << height;
    }
}

TEST_F(Patterns, SixteenStripesRoundTheirWidthUp)
{
    // Bands of (width + 15) / 16 pixels; the last one takes what is left.
    // 610 tells rounding up from down and from adding less than 15.
    for (const auto& [width, band] : {std::pair{600, 38}, std::pair{610, 39}}) {
        use_screen(width, 800);
        testing::internal::CaptureStdout();
        morvane::makepattern("16", 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "pattern 16\n");
        for (int y : {0, 799}) {
            EXPECT_EQ(at(0, y), graytable[0]) << width;
            EXPECT_EQ(at(band - 1, y), graytable[0]) << width;
            EXPECT_EQ(at(band, y), graytable[1]) << width;
            EXPECT_EQ(at(15 * band - 1, y), graytable[14]) << width;
            EXPECT_EQ(at(15 * band, y), graytable[15]) << width;
            EXPECT_EQ(at(width - 1, y), graytable[15]) << width;
        }
        EXPECT_EQ(buffer_[static_cast<size_t>(width) * 800], 0x1234) << "nothing past the picture";
    }
}

TEST_F(Patterns, VerticalVariantMakesHorizontalBandsLightestAtTheTop)
{
    for (const auto& [height, band] : {std::pair{800, 50}, std::pair{801, 51}}) {
        use_screen(600, height);
        testing::internal::CaptureStdout();
        morvane::makepattern("16", 1);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(at(599, band - 1), graytable[0]) << height;
        EXPECT_EQ(at(0, band), graytable[1]) << height;
        EXPECT_EQ(at(300, height - 1), graytable[15]) << height;
    }
}

TEST_F(Patterns, FourAndTwoFillByteSegmentsOfEachRun)
{
    use_screen(3, 10);
    const auto* bytes = reinterpret_cast<const uint8_t*>(buffer_.data());
    morvane::makepattern("4", 0);
    // Runs of 10 bytes in segments of (10 + 3) / 4 = 3: 0,0,0,44,44,44,88,88,88,CC.
    const uint8_t four[10] = {0x00, 0x00, 0x00, 0x44, 0x44, 0x44, 0x88, 0x88, 0x88, 0xCC};
    for (int run = 0; run < 3; ++run)
        for (int i = 0; i < 10; ++i)
            EXPECT_EQ(bytes[run * 10 + i], four[i]) << run << "," << i;
    EXPECT_EQ(buffer_[15], 0x1234) << "only ResX * ResY bytes are written";
    // Runs of 9 in segments of (9 + 3) / 4 = 3; an image buffer of 7 bytes
    // takes 7.
    use_screen(3, 9);
    morvane::imgbuf_len = 7;
    bytes = reinterpret_cast<const uint8_t*>(buffer_.data());
    morvane::makepattern("4", 0);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 8),
              (std::vector<uint8_t>{0x00, 0x00, 0x00, 0x44, 0x44, 0x44, 0x88, 0x12}));
    use_screen(3, 10);
    bytes = reinterpret_cast<const uint8_t*>(buffer_.data());

    morvane::makepattern("2", 1);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(bytes[20 + i], i < 5 ? 0x00 : 0xFF);
}

TEST_F(Patterns, UnknownPatternAndBadGrayLevelLeaveTheBuffer)
{
    use_screen(4, 4);
    testing::internal::CaptureStdout();
    morvane::makepattern("8", 0);
    morvane::makegray(16);
    morvane::makegray(-1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Invalid gray level!!\nInvalid gray level!!\n");
    for (const uint16_t pixel : buffer_)
        ASSERT_EQ(pixel, 0x1234);

    testing::internal::CaptureStdout();
    morvane::makegray(0);
    morvane::makegray(15);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "gray level = 0\ngray level = 15\n");
    EXPECT_EQ(at(3, 3), 0x0000);
    EXPECT_EQ(buffer_[16], 0x1234);
}

class FramebufferCopy : public Patterns {
protected:
    void SetUp() override
    {
        use_screen(6, 4);
        for (size_t i = 0; i < 24; ++i)
            buffer_[i] = static_cast<uint16_t>(i + 1);
        var_.xres = 6;
        var_.yres = 4;
        var_.xres_virtual = 8;
        var_.yres_virtual = 8;
        framebuffer_.assign(8 * 8 + 16, 0);
        morvane::mmaplen = 8 * 8 * 2;
    }
    uint16_t fb(int x, int y) const { return framebuffer_[static_cast<size_t>(y) * 8 + x]; }

    fb_var_screeninfo var_{};
    std::vector<uint16_t> framebuffer_;
};

TEST_F(FramebufferCopy, UsesEachSideItsOwnStride)
{
    morvane::copy_img_to_buf(framebuffer_.data(), 1, 1, 3, 2, var_);
    EXPECT_EQ(fb(1, 1), 8);  // image pixel 1 * 6 + 1, plus one
    EXPECT_EQ(fb(3, 2), 16);
    EXPECT_EQ(fb(0, 1), 0);
    EXPECT_EQ(fb(4, 1), 0);
    EXPECT_EQ(fb(1, 3), 0);
}

TEST_F(FramebufferCopy, NothingLandsOutsideTheVirtualScreenOrTheMapping)
{
    morvane::copy_img_to_buf(framebuffer_.data(), -2, -2, 4, 4, var_);
    EXPECT_EQ(fb(0, 0), 1);
    EXPECT_EQ(fb(1, 1), 8);
    EXPECT_EQ(fb(2, 0), 0);

    morvane::copy_img_to_buf(framebuffer_.data(), 0, 0, INT32_MAX, INT32_MAX, var_);
    EXPECT_EQ(fb(5, 3), 24) << "the image's last pixel";
    morvane::copy_img_to_buf(framebuffer_.data(), INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, var_);
    // A driver that reports a mapping smaller than its virtual screen.
    morvane::mmaplen = 8 * 2 * 2;
    std::fill(framebuffer_.begin(), framebuffer_.end(), 0);
    morvane::copy_img_to_buf(framebuffer_.data(), 0, 0, 8, 8, var_);
    EXPECT_EQ(fb(5, 1), 12) << "the mapping's last row";
    for (size_t i = 16; i < framebuffer_.size(); ++i)
        ASSERT_EQ(framebuffer_[i], 0) << i;
    // An image buffer that ends inside the last row.
    morvane::mmaplen = 8 * 8 * 2;
    morvane::imgbuf_len = 20 * 2;
    std::fill(framebuffer_.begin(), framebuffer_.end(), 0);
    morvane::copy_img_to_buf(framebuffer_.data(), 0, 0, 8, 8, var_);
    EXPECT_EQ(fb(1, 3), 20);
    EXPECT_EQ(fb(2, 3), 0);
}

}  // namespace
