// tpinspect: the touch panel's factory test. It lays out check points on
// the e-paper screen, follows the operator's finger and judges what was
// touched when the HOME key is released or a line is typed.
#include "platform/heap_array.hpp"
#include "platform/numbers.hpp"
#include "platform/sys.hpp"
#include "platform/unique_fd.hpp"
#include "tpinspect/epd.hpp"
#include "tpinspect/inspection.hpp"

#include <fcntl.h>
#include <linux/input.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace tpinspect {

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(input_event) == 16, "the reader's input records are 16 bytes");
#endif

CheckPoint Lcheck_point_aggregate[kMaxCheckPoints];
int Lcheck_points;
int Lcheck_point_order[kMaxOrders];
int Lcheck_point_orders;
int Lcheck_point_out_area;
int Lcheck_point_scan_count;
int Lrelease_count;
int Lone_stroke_mode;
int Lcheck_point_order_mode;
int Lcentimeter_width = 64;
int Lcentimeter_height = 65;
int (*Lresult_test_dependence)();
int Linterval = 50;
int Lrect = 3;
int Lgray_scale = 13;

namespace {

constexpr std::uint16_t kKeyHome = 102;
constexpr int kBlack = 15;

// Touch coordinates are display pixels.
int TP_to_EPD_X(int x) { return x; }
int TP_to_EPD_Y(int y) { return y; }

// The finger starts and ends the ring in the start mark, registered last.
int result_test_0() { return Lcheck_points > 0 && Lcheck_point_aggregate[Lcheck_points - 1].entries == 2 ? 0 : 1; }

void layout_ring(int X, int Y, int W, int H)
{
    const int hw = W / 2;
    const int hh = H / 2;
    int left = W;
    for (; left < X - W - hw; left += hw)
        register_check_point(left, 0, left + hw - 1, H, 0, 1);
    register_check_point(left, 0, X - 1, H, 0, 1);
    int top = H;
    for (; top < Y - H - hh; top += hh)
        register_check_point(X - W, top, X, top + hh - 1, 0, 1);
    register_check_point(X - W, top, X - 1, Y - 1, 0, 1);
    for (left = X - W - hw; left > W; left -= hw)
        register_check_point(left, Y - H, left + hw - 1, Y - 1, 0, 1);
    register_check_point(0, Y - H, left + hw - 1, Y - 1, 0, 1);
    for (top = Y - H - hh; top > H; top -= hh)
        register_check_point(0, top, W, top + hh - 1, 0, 1);
    register_check_point(0, 0, W, top + hh - 1, 0, 0);
    register_check_point(W / 8, H / 8, W - W / 8, H - H / 8, 1, 0);
    epd::epd_drawrect(W, H, X - 2 * W, Y - 2 * H, Lgray_scale);
    Lresult_test_dependence = result_test_0;
}

void layout_vertical_lanes(int X, int Y, int W, int H)
{
    const int hh = H / 2;
    const int q = X / 4;
    // A screen under four pixels wide has no lanes (and would loop for ever).
    for (int i = 1; q > 0 && i * q < X; ++i) {
        const int left = i * q - W / 2;
        const int right = left + W;
        register_check_point(left, 0, right, H, 0, 1);
        int top = H;
        for (; top < Y - H - hh + 1; top += hh)
            register_check_point(left, top, right, top + hh - 1, 0, 1);
        register_check_point(left, top, right, Y, 0, 1);
        epd::epd_drawrect(left, 0, W, Y, Lgray_scale);
    }
}

void layout_horizontal_lanes(int X, int Y, int W, int H)
{
    const int hw = W / 2;
    const int q = Y / 4;
    for (int i = 1; q > 0 && i * q < Y; ++i) {
        const int top = i * q - H / 2;
        const int bottom = top + H;
        register_check_point(0, top, W, bottom, 0, 1);
        int left = W;
        for (; left < X - W - hw + 1; left += hw)
            register_check_point(left, top, left + hw - 1, bottom, 0, 1);
        register_check_point(left, top, X, bottom, 0, 1);
        epd::epd_drawrect(0, top, X, H, Lgray_scale);
    }
}

// Layout 3 runs from the top-right corner to the bottom-left, layout 4 from
// the top-left to the bottom-right.
void layout_diagonal(int X, int Y, int W, int H, bool from_right)
{
    const int qh = H / 4;
    const int n = (Y - 6 * qh) / qh;
    const int step = n >= 1 ? (X - W) / n : 0;
    const int shift = n >= 1 ? n * step : 0;
    if (from_right) {
        register_check_point(X - W, 0, X, 3 * qh, 1, 1);
        for (int k = 0; k < n; ++k)
            register_check_point(X - W - W / 8 - k * step, (3 + k) * qh, X - W / 8 - k * step, (4 + k) * qh - 1, 1, 1);
        register_check_point(X - W - W / 8 - shift, (3 + std::max(n, 0)) * qh, W, Y, 1, 1);
    } else {
        register_check_point(0, 0, W, 3 * qh, 1, 1);
        for (int k = 0; k < n; ++k)
            register_check_point(W / 8 + k * step, (3 + k) * qh, W + W / 8 + k * step, (4 + k) * qh - 1, 1, 1);
        register_check_point(X - W, (3 + std::max(n, 0)) * qh, X, Y, 1, 1);
    }
}

void layout_grid(int X, int Y, int W, int H)
{
    const int qx = X / 4;
    const int qy = Y / 4;
    for (int i = 1; qx > 0 && i * qx < X; ++i)
        for (int j = 1; qy > 0 && j * qy < Y; ++j)
            register_check_point(i * qx - W / 2, j * qy - H / 2, i * qx - W / 2 + W, j * qy - H / 2 + H, 1, 1);
}

bool inside(const CheckPoint& point, int x, int y)
{
    return point.left <= x && x <= point.right && point.top <= y && y <= point.bottom;
}

void* timer_thread(void* argument)
{
    const int write_end = static_cast<int>(reinterpret_cast<std::intptr_t>(argument));
    for (;;) {
        sys::poll(nullptr, 0, Linterval);
        const char tick = 0;
        sys::write(write_end, &tick, 1);
    }
}

bool read_event(int fd, input_event& event)
{
    return sys::read(fd, &event, sizeof event) == static_cast<ssize_t>(sizeof event);
}

// Follows the devices until the HOME key is released, a line is typed, or
// the key device fails. `devices` holds their count, then the descriptors.
// Standard input that hangs up (its writer gone) ends the inspection as a
// typed line does, and a touch device that reports an error or a hang-up
// leaves the poll set: either would otherwise make poll return at once for
// ever.
void inspection(int key, int pipe_read, const int* devices)
{
    if (key == -1)
        return;
    constexpr short kEnded = POLLERR | POLLHUP | POLLNVAL;
    const int count = devices[0];
    int x = -1;
    int y = -1;
    int release = -1;
    const sys::HeapArray<struct pollfd> set(3 + static_cast<std::size_t>(count));
    if (!set)
        return;
    set[0] = {0, POLLIN, 0};
    set[1] = {key, POLLIN, 0};
    set[2] = {pipe_read, POLLIN, 0};
    for (int i = 0; i < count; ++i)
        set[3 + static_cast<std::size_t>(i)] = {devices[1 + i], POLLIN, 0};
    for (;;) {
        if (sys::poll(set.get(), 3 + static_cast<nfds_t>(count), -1) <= 0)
            continue;
        if (set[0].revents & (POLLIN | kEnded)) {
            char byte;
            sys::read(0, &byte, 1);
            return;
        }
        if (set[1].revents & (POLLIN | kEnded)) {
            input_event event{};
            if (!read_event(key, event))
                return;
            if (event.type == EV_KEY && event.code == kKeyHome && event.value == 0)
                return;
        }
        if (set[2].revents & POLLIN) {
            char tick;
            sys::read(pipe_read, &tick, 1);
            epd::epd_flush_area();
        }
        for (int i = 0; i < count; ++i) {
            struct pollfd& device = set[3 + static_cast<std::size_t>(i)];
            if ((device.revents & kEnded) && !(device.revents & POLLIN))
                device.fd = -1;
            if (!(device.revents & POLLIN))
                continue;
            input_event event{};
            if (!read_event(devices[1 + i], event) || event.type != EV_ABS)
                continue;
            if (event.code == ABS_MT_TOUCH_MAJOR) {
                x = y = -1;
                release = event.value == 0 ? 1 : 0;
                continue;
            }
            if (event.code == ABS_MT_POSITION_X)
                x = TP_to_EPD_X(event.value);
            else if (event.code == ABS_MT_POSITION_Y)
                y = TP_to_EPD_Y(event.value);
            if (x != -1 && y != -1)
                process_touch_point(x, y, release);
        }
    }
}

// The touch devices: how many consecutive /dev/input/eventN exist from 1 on.
int count_touch_devices()
{
    int count = 0;
    for (;; ++count) {
        char name[255];
        std::snprintf(name, sizeof name, "/dev/input/event%d", count + 1);
        struct stat st {};
        if (sys::stat(name, &st) != 0)
            return count;
    }
}

// The options, acted on in the order given; false for one the tool does
// not take, or a gray level beyond the gray table.
bool parse_options(int argc, char** argv)
{
    for (int option; (option = getopt(argc, argv, "i:r:g:t:sc")) != -1;) {
        const auto number = [] { return static_cast<int>(sys::strtol(optarg, nullptr, 10)); };
        switch (option) {
        case 'i':
            Linterval = number();
            break;
        case 'r':
            Lrect = number();
            break;
        case 'g': {
            // Beyond the gray table a level would be drawn as another
            // one: 16 as 0, the cleared screen's own, invisible.
            const long gray = sys::strtol(optarg, nullptr, 10);
            if (gray < 0 || gray > kBlack) {
                std::fprintf(stderr, "-g takes a gray level from 0 to %d\n", kBlack);
                return false;
            }
            Lgray_scale = static_cast<int>(gray);
            break;
        }
        case 't':
            register_layout(number(), epd::epd_get_res_x(), epd::epd_get_res_y());
            break;
        case 's':
            Lone_stroke_mode = 1;
            break;
        case 'c':
            Lcheck_point_order_mode = 1;
            break;
        default:
            return false;
        }
    }
    return true;
}

// The display layer, finalised when the run ends, whether or not it was
// initialised.
struct DisplayLayer {
    DisplayLayer() = default;
    DisplayLayer(const DisplayLayer&) = delete;
    DisplayLayer& operator=(const DisplayLayer&) = delete;
    ~DisplayLayer() { epd::epd_finalize(); }
};

// The touch devices, open for the run: the list inspection() takes, their
// count and then their descriptors, -1 for one that did not open.
class TouchDevices {
public:
    explicit TouchDevices(int count) : list_(count > 0 ? 1 + static_cast<std::size_t>(count) : 0)
    {
        if (count <= 0 || !list_)
            return;
        list_[0] = count;
        for (int i = 0; i < count; ++i) {
            char name[255];
            std::snprintf(name, sizeof name, "/dev/input/event%d", i + 1);
            list_[1 + i] = sys::open(name, O_RDONLY);
        }
    }
    ~TouchDevices()
    {
        for (int i = 0; opened() && i < list_[0]; ++i)
            if (list_[1 + i] >= 0)
                sys::close(list_[1 + i]);
    }
    TouchDevices(const TouchDevices&) = delete;
    TouchDevices& operator=(const TouchDevices&) = delete;

    // Whether there was a device to count and room for the list.
    bool opened() const { return list_ && list_[0] > 0; }
    const int* list() const { return list_.get(); }

private:
    const sys::HeapArray<int> list_;
};

}  // namespace

void reset_inspection()
{
    Lcheck_points = 0;
    Lcheck_point_orders = 0;
    Lcheck_point_out_area = 0;
    Lcheck_point_scan_count = 0;
    Lrelease_count = 0;
    Lone_stroke_mode = 0;
    Lcheck_point_order_mode = 0;
    Lcentimeter_width = 64;
    Lcentimeter_height = 65;
    Lresult_test_dependence = nullptr;
    Linterval = 50;
    Lrect = 3;
    Lgray_scale = 13;
}

void register_check_point(int left, int top, int right, int bottom, int draw, int ordered)
{
    if (Lcheck_points >= kMaxCheckPoints)
        return;
    Lcheck_point_aggregate[Lcheck_points++] = {left, top, right, bottom, 0, 0, ordered};
    if (draw)
        epd::epd_drawrect(left, top, right - left, bottom - top, Lgray_scale);
}

void register_layout(int n, int X, int Y)
{
    const int W = Lcentimeter_width;
    const int H = Lcentimeter_height;
    switch (n) {
    case 0:
        layout_ring(X, Y, W, H);
        break;
    case 1:
        layout_vertical_lanes(X, Y, W, H);
        break;
    case 2:
        layout_horizontal_lanes(X, Y, W, H);
        break;
    case 3:
    case 4:
        layout_diagonal(X, Y, W, H, n == 3);
        break;
    case 5:
        layout_grid(X, Y, W, H);
        break;
    default:
        break;
    }
}

void process_touch_point(int x, int y, int release)
{
    bool hit = false;
    for (int i = 0; i < Lcheck_points; ++i) {
        CheckPoint& point = Lcheck_point_aggregate[i];
        if (!inside(point, x, y)) {
            point.inside = 0;
            continue;
        }
        hit = true;
        if (!point.inside) {
            ++point.entries;
            if (Lcheck_point_orders < kMaxOrders && point.ordered)
                Lcheck_point_order[Lcheck_point_orders++] = i;
        }
        point.inside = 1;
    }
    if (!hit) {
        std::printf("outside coordinates: %d, %d\n", x, y);
        ++Lcheck_point_out_area;
    }
    ++Lcheck_point_scan_count;
    // In 64 bits: a device may report any 32-bit position.
    const std::int64_t half = Lrect / 2;
    epd::epd_drawfillrect(x - half, y - half, Lrect, Lrect, kBlack);
    if (release) {
        ++Lrelease_count;
        epd::epd_flush_area();
    }
}

int verdict()
{
    if (Lcheck_point_scan_count == 0)
        return -1;
    int result = Lone_stroke_mode && Lrelease_count > 1 ? 1 : 0;
    for (int i = 0; i < Lcheck_points; ++i) {
        const CheckPoint& point = Lcheck_point_aggregate[i];
        if (point.ordered && point.entries > 1) {
            std::printf("repetition area: left=%d top=%d right=%d bottom=%d\n", point.left, point.top, point.right,
                        point.bottom);
            result = 1;
        }
    }
    if (Lcheck_point_order_mode) {
        if (Lcheck_point_out_area != 0) {
            std::printf("outside test area");
            return -1;
        }
        for (int k = 0; k < Lcheck_points; ++k) {
            const CheckPoint& point = Lcheck_point_aggregate[k];
            const int entered = k < Lcheck_point_orders ? Lcheck_point_order[k] : 0;
            if (point.ordered && entered != k) {
                std::printf("skip area: left=%d top=%d right=%d bottom=%d\n", point.left, point.top, point.right,
                            point.bottom);
                return 1;
            }
        }
    }
    if (result == 0 && Lresult_test_dependence != nullptr)
        result = Lresult_test_dependence();
    return result;
}

int tpinspect_main(int argc, char** argv)
{
    // Released in the reverse order: the touch devices, the pipe's read
    // end, the key device, then the display layer.
    const DisplayLayer display;
    const sys::UniqueFd key(sys::open("/dev/input/event0", O_RDONLY | O_CLOEXEC));
    if (key.valid()) {
        // Without a usable screen no target can be shown nor any touch
        // judged: the test fails rather than passing on touches that hit
        // nothing.
        if (epd::epd_initialize() != 0)
            return 255;
        epd::epd_drawfillrect(0, 0, epd::epd_get_res_x(), epd::epd_get_res_y(), 0);
        epd::epd_flush_all();
        Lcentimeter_width = 64;
        Lcentimeter_height = 65;
        if (!parse_options(argc, argv))
            return 255;
    }
    int ends[2];
    if (sys::pipe(ends) != 0)
        return 255;
    sys::UniqueFd pipe_write(ends[1]);
    const sys::UniqueFd pipe_read(ends[0]);
    if (sys::start_detached_thread(timer_thread, reinterpret_cast<void*>(static_cast<std::intptr_t>(ends[1]))) != 0)
        return 255;
    // The timer thread writes to it until the process ends.
    pipe_write.release();
    const TouchDevices devices(count_touch_devices());
    if (!devices.opened())
        return 255;
    inspection(key.get(), pipe_read.get(), devices.list());
    return verdict();
}

}  // namespace tpinspect
