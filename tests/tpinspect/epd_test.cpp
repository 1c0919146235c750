// The inspection tool's drawing layer on the virtual framebuffer: what the
// dirty area sends, and where drawing stops.
#include "tests/support/json_line.hpp"
#include "tests/vreader/model/reader_fixture.hpp"
#include "tpinspect/epd.hpp"

#include <cstdint>
#include <iterator>
#include <limits>

namespace vreader_test {
namespace {

class Epd : public ReaderTest {
protected:
    void SetUp() override
    {
        ReaderTest::SetUp();
        ASSERT_EQ(epd::epd_initialize(), 0);
    }
    void TearDown() override
    {
        epd::epd_finalize();
        ReaderTest::TearDown();
    }

    // The regions of the updates sent so far: top, left, width, height.
    std::vector<std::array<long long, 4>> updates() const
    {
        std::vector<std::array<long long, 4>> regions;
        for (const std::string& text : journal()) {
            if (text.find("MXCFB_SEND_UPDATE") == std::string::npos)
                continue;
            const testing_support::JsonLine line(text);
            // Every update: the driver picks the waveform, at the ambient temperature, marker 1.
            EXPECT_EQ(line.number("waveform_mode"), 257);
            EXPECT_EQ(line.number("temp"), 0x1000);
            EXPECT_EQ(line.number("update_marker"), 1);
            regions.push_back({line.number("update_region.top"), line.number("update_region.left"),
                               line.number("update_region.width"), line.number("update_region.height")});
        }
        return regions;
    }
};

TEST_F(Epd, TheDirtyAreaIsSentOnceAndOnlyWhenSomethingWasDrawn)
{
    epd::epd_flush_area();
    epd::epd_flush_area();
    EXPECT_TRUE(updates().empty());
    testing::internal::CaptureStderr();
    epd::epd_finalize();
    EXPECT_EQ(epd::epd_initialize(), 0);
    for (int i = 0; i < 2; ++i) {
        epd::epd_drawfillrect(10, 20, 3, 3, 15);
        epd::epd_flush_area();
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "a start and updates that worked say nothing";
    EXPECT_EQ(updates(), (std::vector<std::array<long long, 4>>{{20, 10, 3, 3}}));
    // A full refresh in between leaves what was drawn to the next partial one.
    epd::epd_drawrect(100, 100, 10, 10, 13);
    epd::epd_flush_all();
    epd::epd_flush_area();
    EXPECT_EQ(updates().back(), (std::array<long long, 4>{100, 100, 10, 10}));
    EXPECT_EQ(updates()[1], (std::array<long long, 4>{0, 0, 600, 800}));
}

TEST_F(Epd, RectanglesAreCutAtEveryEdge)
{
    epd::epd_drawrect(100, -50, 20, 20, 15);  // wholly above the screen
    epd::epd_flush_area();
    EXPECT_TRUE(updates().empty());
    epd::epd_drawfillrect(590, 790, 20, 20, 15);
    epd::epd_drawfillrect(-1, -1, 3, 3, 15);
    epd::epd_flush_area();
    EXPECT_EQ(updates(), (std::vector<std::array<long long, 4>>{{0, 0, 600, 800}}));
    epd::epd_drawrect(-20, 500, 20, 20, 0);  // wholly off the screen, just
    epd::epd_flush_area();
    EXPECT_EQ(updates().size(), 1u);
    // Memory starts black: the gray index 0 drawn shows where drawing reached.
    const int fd = open_fb();
    const auto pixel = [&](int x, int y) {
        std::uint16_t value = 0;
        EXPECT_EQ(sys::pread(fd, &value, 2, (y * 608 + x) * 2), 2);
        return value;
    };
    EXPECT_EQ(pixel(0, 510), 0x0000) << "nothing of a rectangle off the screen";
    epd::epd_drawfillrect(-2, 798, 5, 5, 0);
    EXPECT_EQ(pixel(0, 799), 0xF79E);
    EXPECT_EQ(pixel(2, 799), 0xF79E);
    EXPECT_EQ(pixel(3, 799), 0x0000);
    EXPECT_EQ(pixel(607, 798), 0x0000) << "nothing in the row's padding";
    // Nothing below a rectangle's last row, filled or drawn.
    epd::epd_drawfillrect(10, 10, 3, 3, 0);
    epd::epd_drawrect(20, 10, 3, 3, 0);
    EXPECT_EQ(pixel(10, 12), 0xF79E);
    EXPECT_EQ(pixel(22, 12), 0xF79E);
    EXPECT_EQ(pixel(21, 12), 0xF79E) << "the outline's last row";
    EXPECT_EQ(pixel(22, 11), 0xF79E) << "its last column";
    EXPECT_EQ(pixel(21, 11), 0x0000) << "its inside";
    EXPECT_EQ(pixel(10, 13), 0x0000);
    EXPECT_EQ(pixel(20, 13), 0x0000);
    sys::close(fd);
}

TEST_F(Epd, TheDirtyAreaGrowsByWhatIsLeftOfEachRectangleAfterTheCut)
{
    constexpr std::int64_t kLowest = std::numeric_limits<std::int64_t>::min();
    constexpr std::int64_t kHighest = std::numeric_limits<std::int64_t>::max();
    // Each row: a 3x3 mark at (99, 99), another rectangle, one refresh.
    const struct {
        const char* why;
        std::array<std::int64_t, 4> rect;  // x, y, w, h
        std::array<long long, 4> region;   // top, left, width, height
    } cases[] = {
        {"past the right edge: the area reaches it", {699, 99, 3, 3}, {99, 99, 501, 3}},
        {"above the screen: cut at row 0", {99, -60, 3, 3}, {0, 99, 3, 102}},
        {"a point of size 0 still counts", {200, 200, 0, 0}, {99, 99, 101, 101}},
        {"64-bit extremes: over the whole screen", {-1, -1, kHighest, kHighest}, {0, 0, 600, 800}},
        {"64-bit extremes: none of it on the screen", {kLowest, kLowest, kLowest, kLowest}, {0, 0, 102, 102}},
    };
    for (const auto& c : cases) {
        epd::epd_drawfillrect(99, 99, 3, 3, 15);
        epd::epd_drawfillrect(c.rect[0], c.rect[1], c.rect[2], c.rect[3], 15);
        epd::epd_flush_area();
        EXPECT_EQ(updates().back(), c.region) << c.why;
    }
    EXPECT_EQ(updates().size(), std::size(cases));
}

TEST_F(Epd, NothingIsDrawnWithoutADisplay)
{
    epd::epd_finalize();
    testing_support::write_file(path_ + "/faults", "fb0:open ENODEV 1\n");
    next_run();
    EXPECT_EQ(epd::epd_initialize(), -1);
    EXPECT_EQ(epd::epd_get_res_x(), 0) << "the screen of the earlier run is forgotten";
    EXPECT_EQ(epd::epd_get_res_y(), 0);
    const size_t lines = journal().size();
    epd::epd_drawrect(10, 10, 20, 20, 15);
    epd::epd_flush_area();
    epd::epd_flush_all();
    EXPECT_EQ(journal().size(), lines);
}

}  // namespace
}  // namespace vreader_test
