// The panel's view of memory, without the state directory.
#include "tests/vreader/model/reader_fixture.hpp"
#include "vreader/model/devices/display/panel_render.hpp"

#include <set>

namespace vreader_test {
namespace {

TEST(PanelLevel, GrayTableGivesSixteenDistinctLevelsInOrder)
{
    std::set<int> seen;
    for (int n = 0; n < 16; ++n) {
        EXPECT_EQ(vreader::panel_level(kGrayTable[n]), (15 - n) * 17) << "gray index " << n;
        seen.insert(vreader::panel_level(kGrayTable[n]));
    }
    EXPECT_EQ(seen.size(), 16u);
    EXPECT_EQ(vreader::panel_level(0xFFFF), 255);
    // Green weighs most: pure green is lighter than pure red, which is lighter than blue.
    EXPECT_GT(vreader::panel_level(0x07E0), vreader::panel_level(0xF800));
    EXPECT_GT(vreader::panel_level(0xF800), vreader::panel_level(0x001F));
}

// A 4x3 panel and a matching memory with a stride of 6 pixels.
struct SmallScreen {
    std::vector<std::uint8_t> memory = std::vector<std::uint8_t>(6 * 8 * 2, 0xFF);
    std::vector<std::uint8_t> pixels = std::vector<std::uint8_t>(4 * 3, 0xFF);
    vreader::PanelImage panel{pixels, 4, 3};

    void set(std::uint32_t index, std::uint16_t value)
    {
        memory[2 * index] = static_cast<std::uint8_t>(value);
        memory[2 * index + 1] = static_cast<std::uint8_t>(value >> 8);
    }
    void render(std::uint32_t rotate, vreader::Region region, std::uint32_t waveform = 2, std::uint32_t flags = 0,
                std::uint32_t yoffset = 0)
    {
        const vreader::FrameMemory frame{memory, 6, 0, yoffset};
        vreader::render_region(frame, rotate, region, waveform, flags, panel);
    }
};

TEST(RenderRegion, RotationMapsScreenToPanel)
{
    // Screen pixel (1, 0) is black in every orientation; where it lands:
    struct Case {
        std::uint32_t rotate, screen_w, screen_h, px, py;
    } cases[] = {{0, 4, 3, 1, 0}, {1, 3, 4, 3, 1}, {2, 4, 3, 2, 2}, {3, 3, 4, 0, 1}};
    for (const auto& c : cases) {
        SmallScreen s;
        s.set(1, 0x0000);
        s.render(c.rotate, {0, 0, c.screen_w, c.screen_h});
        for (std::uint32_t y = 0; y < 3; ++y)
            for (std::uint32_t x = 0; x < 4; ++x)
                EXPECT_EQ(s.pixels[y * 4 + x], x == c.px && y == c.py ? 0 : 255)
                    << "rotate " << c.rotate << " at " << x << "," << y;
    }
}

TEST(RenderRegion, OnlyTheRegionChangesAndMemoryIsReadAtTheStrideAndPage)
{
    SmallScreen s;
    for (std::uint32_t i = 0; i < 48; ++i)
        s.set(i, 0x0000);
    std::fill(s.pixels.begin(), s.pixels.end(), 0x80);
    s.set(3 * 6 + 1, 0xFFFF);  // page at yoffset 3, screen (1, 0)
    s.render(0, {1, 0, 2, 2}, 2, 0, 3);
    const std::vector<std::uint8_t> expected = {0x80, 255, 0, 0x80, 0x80, 0, 0, 0x80, 0x80, 0x80, 0x80, 0x80};
    EXPECT_EQ(s.pixels, expected);
}

TEST(RenderRegion, FlagsAndWaveformModes)
{
    const std::uint16_t dark = kGrayTable[9];   // level 6: 102
    const std::uint16_t light = kGrayTable[6];  // level 9: 153
    struct Case {
        std::uint32_t waveform, flags;
        int dark, light;
    } cases[] = {
        {2, 0, 102, 153}, {257, 0, 102, 153}, {3, 0, 102, 153},   {2, 0x1, 153, 102},
        {2, 0x2, 0, 255}, {2, 0x3, 255, 0},   {1, 0, 0, 255},     {4, 0, 0, 255},
        {4, 0x1, 255, 0}, {0, 0, 255, 255},   {0, 0x1, 255, 255}, {2, 0x30000, 102, 153},
    };
    for (const auto& c : cases) {
        SmallScreen s;
        s.set(0, dark);
        s.set(1, light);
        s.render(0, {0, 0, 2, 1}, c.waveform, c.flags);
        EXPECT_EQ(s.pixels[0], c.dark) << "waveform " << c.waveform << " flags " << c.flags;
        EXPECT_EQ(s.pixels[1], c.light) << "waveform " << c.waveform << " flags " << c.flags;
    }
}

}  // namespace
}  // namespace vreader_test
