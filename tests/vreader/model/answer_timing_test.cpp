// The serial devices that answer requests, the touch-panel controller and
// the WAN modem, answer a request when it arrives or never: one that came
// while their configuration could not be read is dropped, not answered once
// the file is readable again, and its bytes never join a later request.
#include "tests/vreader/model/reader_fixture.hpp"

#include <poll.h>

namespace vreader_test {
namespace {

class AnswerTimingTest : public ReaderTest {
protected:
    // Everything the device has queued for reading.
    static std::string drain(int fd)
    {
        std::string bytes;
        pollfd ready{fd, POLLIN, 0};
        while (sys::poll(&ready, 1, 0) == 1 && (ready.revents & POLLIN) != 0) {
            char buf[256];
            const ssize_t n = sys::read(fd, buf, sizeof buf);
            if (n <= 0)
                break;
            bytes.append(buf, static_cast<std::size_t>(n));
        }
        return bytes;
    }

    // Plays `steps` on a fresh program: "!" makes the device's
    // configuration unreadable, "=" puts it back, anything else is written.
    std::string play(const char* node, const char* conf, const std::vector<std::string>& steps)
    {
        next_run();
        const std::string file = path_ + "/" + conf;
        const std::string readable = testing_support::read_file(file);
        const int fd = sys::open(node, O_RDWR | O_NOCTTY);
        EXPECT_GE(fd, 0) << node << ": " << std::strerror(errno);
        std::string received;
        for (const std::string& step : steps) {
            if (step == "!" || step == "=") {
                testing_support::write_file(file, step == "!" ? "no key here\n" : readable);
                continue;
            }
            EXPECT_EQ(sys::write(fd, step.data(), step.size()), static_cast<ssize_t>(step.size())) << step;
            received += drain(fd);
        }
        sys::close(fd);
        testing_support::write_file(file, readable);
        return received;
    }
};

TEST_F(AnswerTimingTest, ARequestTheDeviceCouldNotAnswerIsNeverAnsweredLater)
{
    const struct {
        const char* name;
        const char* node;
        const char* conf;
        std::vector<std::string> steps;
        // The same device's answer to this alone is all that may come.
        std::string only_answered;
    } cases[] = {
        {"panel status, then version", "/dev/ttymxc1", "touch_panel.conf", {"!", "\x1E", "=", "\x0A"}, "\x0A"},
        {"panel status twice", "/dev/ttymxc1", "touch_panel.conf", {"!", "\x1E", "=", "\x1E"}, "\x1E"},
        {"panel touch start", "/dev/ttymxc1", "touch_panel.conf", {"!", "\x04", "=", "\x0A"}, "\x0A"},
        {"modem line ended while unreadable", "/dev/ttyUSB0", "modem.conf", {"AT", "!", "\r", "=", "AT\r"}, "AT\r"},
        {"modem command while unreadable", "/dev/ttyUSB0", "modem.conf", {"!", "AT^PSN\r", "=", "AT\r"}, "AT\r"},
    };
    for (const auto& c : cases) {
        const std::string alone = play(c.node, c.conf, {c.only_answered});
        ASSERT_FALSE(alone.empty()) << c.name;
        EXPECT_EQ(play(c.node, c.conf, c.steps), alone) << c.name;
    }
    // The dropped requests are journaled as unanswered: status twice and
    // touch start, each once.
    int unanswered = 0;
    for (const auto& line : requests("panel_reply"))
        if (line.has("unanswered"))
            unanswered += line.text("unanswered") == "touch_panel.conf is unreadable" ? 1 : 100;
    EXPECT_EQ(unanswered, 3);
}

}  // namespace
}  // namespace vreader_test
