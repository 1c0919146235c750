// The layouts' check points on a 600x800 screen and the limits of the
// inspection's lists, without a display.
#include "tpinspect/inspection.hpp"

#include <gtest/gtest.h>

#include <array>

namespace {

using namespace tpinspect;
using Cell = std::array<int, 4>;

Cell cell(int i)
{
    const CheckPoint& p = Lcheck_point_aggregate[i];
    return {p.left, p.top, p.right, p.bottom};
}

class Layouts : public ::testing::Test {
protected:
    void SetUp() override { reset_inspection(); }
};

TEST_F(Layouts, RingAlongTheEdges)
{
    register_layout(0, 600, 800);
    ASSERT_EQ(Lcheck_points, 73);
    int ordered = 0;
    for (int i = 0; i < Lcheck_points; ++i)
        ordered += Lcheck_point_aggregate[i].ordered != 0;
    EXPECT_EQ(ordered, 71);
    EXPECT_EQ(cell(0), (Cell{64, 0, 95, 65}));
    EXPECT_EQ(cell(14), (Cell{512, 0, 599, 65}));
    // The closing cells of the right and bottom edges, the corner, the start mark.
    int right_closing = -1, bottom_first = -1, bottom_closing = -1;
    for (int i = 0; i < Lcheck_points; ++i) {
        if (cell(i) == Cell{536, 705, 599, 799})
            right_closing = i;
        if (cell(i) == Cell{504, 735, 535, 799})
            bottom_first = i;
        if (cell(i) == Cell{0, 735, 87, 799})
            bottom_closing = i;
    }
    EXPECT_GT(right_closing, 14);
    EXPECT_EQ(cell(15), (Cell{536, 65, 600, 96})) << "the right edge's first";
    EXPECT_EQ(bottom_first, right_closing + 1);
    EXPECT_EQ(cell(bottom_closing + 1), (Cell{0, 703, 64, 734})) << "the left edge's first";
    EXPECT_GT(bottom_closing, right_closing);
    EXPECT_EQ(cell(71), (Cell{0, 0, 64, 94}));
    EXPECT_EQ(Lcheck_point_aggregate[71].ordered, 0);
    EXPECT_EQ(cell(72), (Cell{8, 8, 56, 57}));
    EXPECT_EQ(Lcheck_point_aggregate[72].ordered, 0);
    // Sides that the half cells divide exactly: each closing cell is a half
    // cell and a whole one wide, not a half cell more.
    reset_inspection();
    register_layout(0, 608, 802);
    EXPECT_EQ(Lcheck_points, 73);
    EXPECT_EQ(cell(14), (Cell{512, 0, 607, 65}));
}

TEST_F(Layouts, LanesDiagonalsAndGrid)
{
    register_layout(1, 600, 800);
    ASSERT_EQ(Lcheck_points, 66);
    for (int lane = 0; lane < 3; ++lane) {
        const int left = 118 + 150 * lane;
        EXPECT_EQ(cell(22 * lane), (Cell{left, 0, left + 64, 65}));
        EXPECT_EQ(cell(22 * lane + 1), (Cell{left, 65, left + 64, 96}));
        EXPECT_EQ(cell(22 * lane + 21), (Cell{left, 705, left + 64, 800}));
    }

    reset_inspection();
    register_layout(2, 600, 800);
    ASSERT_EQ(Lcheck_points, 48);
    EXPECT_EQ(cell(0), (Cell{0, 168, 64, 233}));
    EXPECT_EQ(cell(1), (Cell{64, 168, 95, 233}));
    EXPECT_EQ(cell(47), (Cell{512, 568, 600, 633}));
    // Lanes whose length the half cells divide exactly: no extra cell.
    for (const auto& [layout, X, Y, count] : {std::array{1, 600, 801, 66}, {2, 607, 800, 48}}) {
        reset_inspection();
        register_layout(layout, X, Y);
        EXPECT_EQ(Lcheck_points, count) << "layout " << layout;
    }

    reset_inspection();
    register_layout(3, 600, 800);
    ASSERT_EQ(Lcheck_points, 46);  // the corner, n = 44 cells, the closing cell
    EXPECT_EQ(cell(0), (Cell{536, 0, 600, 48}));
    EXPECT_EQ(cell(1), (Cell{528, 48, 592, 63}));
    EXPECT_EQ(cell(44), (Cell{12, 736, 76, 751}));
    EXPECT_EQ(cell(45), (Cell{0, 752, 64, 800}));

    reset_inspection();
    register_layout(4, 600, 800);
    EXPECT_EQ(cell(0), (Cell{0, 0, 64, 48}));
    EXPECT_EQ(cell(1), (Cell{8, 48, 72, 63}));
    EXPECT_EQ(cell(45), (Cell{536, 752, 600, 800}));

    reset_inspection();
    register_layout(5, 600, 800);
    ASSERT_EQ(Lcheck_points, 9);
    EXPECT_EQ(cell(0), (Cell{118, 168, 182, 233}));
    EXPECT_EQ(cell(8), (Cell{418, 568, 482, 633}));

    // A screen too short for the diagonal's cells: the corner and the closing cell.
    reset_inspection();
    register_layout(3, 600, 100);
    EXPECT_EQ(Lcheck_points, 2);
    register_layout(9, 600, 800);
    EXPECT_EQ(Lcheck_points, 2) << "no layout 9";
    // Room for one cell: it steps the whole width.
    reset_inspection();
    register_layout(3, 600, 120);
    ASSERT_EQ(Lcheck_points, 3);
    EXPECT_EQ(cell(1), (Cell{528, 48, 592, 63}));
    EXPECT_EQ(cell(2), (Cell{-8, 64, 64, 120})) << "the closing cell, a whole step on";
}

TEST_F(Layouts, ScreensUnderFourPixelsGetNoLanesNorGrid)
{
    const struct {
        int layout, X, Y;
    } cases[] = {{1, 3, 800}, {2, 800, 3}, {5, 3, 800}, {5, 800, 3}, {1, 0, 0}, {2, 0, 0}};
    for (const auto& c : cases) {
        reset_inspection();
        register_layout(c.layout, c.X, c.Y);
        EXPECT_EQ(Lcheck_points, 0) << c.layout << " on " << c.X << "x" << c.Y;
    }
}

TEST_F(Layouts, ListsStopAtTheirLimitsButEntriesAreStillCounted)
{
    // The slot past the list, as a fresh run has it, is no check point.
    register_check_point(100, 100, 109, 109, 0, 1);
    Lcheck_point_aggregate[1] = {};
    testing::internal::CaptureStdout();
    process_touch_point(0, 0, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "outside coordinates: 0, 0\n");
    // Nor is it judged: neither as entered twice nor as skipped in order.
    reset_inspection();
    register_check_point(100, 100, 109, 109, 0, 1);
    register_check_point(200, 100, 209, 109, 0, 1);
    Lcheck_points = 1;  // the second is the slot past the list now
    Lcheck_point_aggregate[1].entries = 2;
    Lcheck_point_order_mode = 1;
    process_touch_point(105, 105, 0);
    EXPECT_EQ(verdict(), 0);
    // A stale order past the list's end is not taken for an entry.
    Lcheck_points = 2;
    Lcheck_point_aggregate[1].entries = 0;
    Lcheck_point_order[1] = 1;
    testing::internal::CaptureStdout();
    EXPECT_EQ(verdict(), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "skip area: left=200 top=100 right=209 bottom=109\n");
    reset_inspection();

    for (int i = 0; i < 1001; ++i)
        register_check_point(0, 0, 9, 9, 0, 1);
    EXPECT_EQ(Lcheck_points, 1000);
    testing::internal::CaptureStdout();
    for (int i = 0; i < 10001; ++i) {
        process_touch_point(5, 5, 0);
        process_touch_point(50, 50, 0);
    }
    EXPECT_TRUE(testing::internal::GetCapturedStdout().starts_with("outside coordinates: 50, 50\n"));
    EXPECT_EQ(Lcheck_point_orders, 10000);
    EXPECT_EQ(Lcheck_point_aggregate[999].entries, 10001);
    EXPECT_EQ(Lcheck_point_out_area, 10001);
}

}  // namespace
