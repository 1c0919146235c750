// The input devices' records in each program's own layout: 16 bytes for a
// 32-bit program, 24 for a 64-bit one, whichever machine the trace player
// was built for.
#include "tests/vreader/model/reader_fixture.hpp"
#include "vreader/model/devices/input/input_device.hpp"
#include "vreader/model/devices/input/input_record.hpp"
#include "vreader/model/devices/input/input_trace.hpp"

#include <linux/input.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace vreader_test {
namespace {

using vreader::InputEvent;

std::string hex(const std::vector<std::uint8_t>& bytes)
{
    std::string text;
    for (const std::uint8_t byte : bytes) {
        char two[4];
        std::snprintf(two, sizeof two, "%02X", byte);
        text += (text.empty() ? "" : " ") + std::string(two);
    }
    return text;
}

TEST(InputRecord, LaysOutBothSizesAndReadsThemBack)
{
    const struct {
        std::size_t size;
        InputEvent event;
        const char* bytes;
        InputEvent read_back;
    } cases[] = {
        {16,
         {5, 7, EV_ABS, ABS_MT_POSITION_X, -2},
         "05 00 00 00 07 00 00 00 03 00 35 00 FE FF FF FF",
         {5, 7, EV_ABS, ABS_MT_POSITION_X, -2}},
        {24,
         {5, 7, EV_ABS, ABS_MT_POSITION_X, -2},
         "05 00 00 00 00 00 00 00 07 00 00 00 00 00 00 00 03 00 35 00 FE FF FF FF",
         {5, 7, EV_ABS, ABS_MT_POSITION_X, -2}},
        // A 32-bit program's time is 32 bits: the seconds are cut there.
        {16,
         {0x100000009, 999999, EV_KEY, KEY_HOME, 1},
         "09 00 00 00 3F 42 0F 00 01 00 66 00 01 00 00 00",
         {9, 999999, EV_KEY, KEY_HOME, 1}},
        {24,
         {0x100000009, 999999, EV_KEY, KEY_HOME, 1},
         "09 00 00 00 01 00 00 00 3F 42 0F 00 00 00 00 00 01 00 66 00 01 00 00 00",
         {0x100000009, 999999, EV_KEY, KEY_HOME, 1}},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> record;
        vreader::append_input_record(record, c.event, c.size);
        EXPECT_EQ(hex(record), c.bytes) << c.size;
        EXPECT_EQ(vreader::parse_input_record(record, c.size), c.read_back) << c.size;
        record.pop_back();
        EXPECT_FALSE(vreader::parse_input_record(record, c.size).has_value()) << c.size;
    }
    EXPECT_EQ(vreader::kOwnInputRecord, sizeof(input_event));
}

class InputRecordTest : public ReaderTest {
protected:
    // Plays `trace` into /dev/input/event1 held as a program of
    // `record_size` would hold it (0: one that published nothing), and
    // returns the bytes that came.
    std::vector<std::uint8_t> play(const std::string& trace, std::size_t record_size)
    {
        std::string error;
        const auto dir = vreader::ReaderDir::open(path_, error);
        EXPECT_TRUE(dir.has_value()) << error;
        std::remove(dir->file(vreader::input_record_file(1)).c_str());
        if (record_size != 0) {
            EXPECT_EQ(vreader::publish_input_record_size(*dir, 1, record_size), 0);
        }
        const int held = ::open(dir->file(vreader::input_pipe(1)).c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        EXPECT_GE(held, 0);
        std::vector<std::uint8_t> came;
        std::atomic<bool> played{false};
        std::thread program([&] {
            for (;;) {
                pollfd ready{held, POLLIN, 0};
                std::uint8_t buf[256];
                const ssize_t n = ::poll(&ready, 1, 10) == 1 ? ::read(held, buf, sizeof buf) : 0;
                if (n > 0)
                    came.insert(came.end(), buf, buf + n);
                else if (played)
                    return;
            }
        });
        std::vector<vreader::TraceStep> steps;
        EXPECT_TRUE(vreader::parse_trace(trace, steps, error)) << error;
        EXPECT_EQ(vreader::play_trace(*dir, steps, -1, 1, [] { return false; }), "");
        played = true;
        program.join();
        ::close(held);
        return came;
    }
};

TEST_F(InputRecordTest, TheTracePlayerWritesEachProgramsLayout)
{
    const struct {
        std::size_t published;
        std::size_t written;
    } cases[] = {{16, 16}, {24, 24}, {0, sizeof(input_event)}};
    const InputEvent touch[] = {{0, 0, EV_ABS, ABS_MT_TOUCH_MAJOR, 10},
                                {0, 0, EV_ABS, ABS_MT_POSITION_X, 100},
                                {0, 0, EV_ABS, ABS_MT_POSITION_Y, 200},
                                {0, 0, EV_SYN, SYN_REPORT, 0}};
    for (const auto& c : cases) {
        const std::vector<std::uint8_t> came = play("down 100 200\n", c.published);
        ASSERT_EQ(came.size(), std::size(touch) * c.written) << c.published;
        for (std::size_t i = 0; i < std::size(touch); ++i) {
            const auto event = vreader::parse_input_record(
                std::span<const std::uint8_t>(came).subspan(i * c.written, c.written), c.written);
            ASSERT_TRUE(event.has_value());
            EXPECT_EQ(event->type, touch[i].type) << c.published << " #" << i;
            EXPECT_EQ(event->code, touch[i].code) << c.published << " #" << i;
            EXPECT_EQ(event->value, touch[i].value) << c.published << " #" << i;
            EXPECT_NE(event->seconds, 0) << c.published << " #" << i;
        }
    }
}

TEST_F(InputRecordTest, TheDevicePublishesItsBuildsLayoutAndHandsOverWholeRecords)
{
    const int fd = sys::open("/dev/input/event1", O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    EXPECT_EQ(testing_support::read_file(path_ + "/" + vreader::input_record_file(1)),
              std::to_string(sizeof(input_event)) + "\n");
    const input_event events[2] = {{{}, EV_KEY, KEY_HOME, 1}, {{}, EV_KEY, KEY_HOME, 0}};
    const int source = ::open((path_ + "/" + vreader::input_pipe(1)).c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(source, 0);
    ASSERT_EQ(::write(source, events, sizeof events), static_cast<ssize_t>(sizeof events));
    char buf[3 * sizeof(input_event)];
    const struct {
        std::size_t count;
        ssize_t result;
        int error;
    } reads[] = {{0, 0, 0},
                 {sizeof(input_event) - 1, -1, EINVAL},
                 {sizeof(input_event) + 3, static_cast<ssize_t>(sizeof(input_event)), 0},
                 {3 * sizeof(input_event), static_cast<ssize_t>(sizeof(input_event)), 0},
                 // Nothing queued on a non-blocking device.
                 {3 * sizeof(input_event), -1, EAGAIN}};
    for (const auto& r : reads) {
        errno = 0;
        EXPECT_EQ(sys::read(fd, buf, r.count), r.result) << r.count;
        EXPECT_EQ(errno, r.error) << r.count;
    }
    ::close(source);
    sys::close(fd);
}

}  // namespace
}  // namespace vreader_test
