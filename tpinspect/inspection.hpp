// The touch inspection procedure: check points laid out in predefined
// layouts, the operator's finger followed through the touch devices, and the
// verdict. Exposed for the tool's main and its tests.
#pragma once

#include <cstdint>

namespace tpinspect {

inline constexpr int kMaxCheckPoints = 1000;
inline constexpr int kMaxOrders = 10000;

struct CheckPoint {
    std::int32_t left;
    std::int32_t top;
    std::int32_t right;  // inclusive
    std::int32_t bottom;
    int entries;
    int inside;
    int ordered;
};

extern CheckPoint Lcheck_point_aggregate[kMaxCheckPoints];
extern int Lcheck_points;
extern int Lcheck_point_order[kMaxOrders];
extern int Lcheck_point_orders;
extern int Lcheck_point_out_area;
extern int Lcheck_point_scan_count;
extern int Lrelease_count;
extern int Lone_stroke_mode;
extern int Lcheck_point_order_mode;
extern int Lcentimeter_width;
extern int Lcentimeter_height;
extern int (*Lresult_test_dependence)();
extern int Linterval;
extern int Lrect;
extern int Lgray_scale;

// Back to the state of a new run.
void reset_inspection();

// Appends a check point (up to 1000; later ones are dropped) and draws its
// outline when `draw` is set.
void register_check_point(int left, int top, int right, int bottom, int draw, int ordered);
// Registers layout `n` (0 to 5; other numbers do nothing) on an X x Y screen.
void register_layout(int n, int X, int Y);
// Tests a touch point against every check point and marks it on the screen.
void process_touch_point(int x, int y, int release);
// 0 pass, 1 fail, -1 not judged; prints the areas that failed.
int verdict();

// The whole tool: options, devices, the loop, the verdict.
int tpinspect_main(int argc, char** argv);

}  // namespace tpinspect
