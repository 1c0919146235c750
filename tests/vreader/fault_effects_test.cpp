// Faults on the data nodes: a read or poll that waits for input waits as it
// would without the fault unless the fault fails it at once.
#include "tests/vreader/reader_fixture.hpp"
#include "vreader/model/past_log.hpp"
#include "vreader/model/uevent_queue.hpp"

#include <linux/input.h>
#include <linux/netlink.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <thread>

namespace vreader_test {
namespace {

using testing_support::read_file;
using testing_support::write_file;

class FaultEffectsTest : public ReaderTest {
protected:
    void set_fault(const std::string& line) const { write_file(path_ + "/faults", line + "\n"); }
    std::string faults() const { return read_file(path_ + "/faults"); }
    std::string journal_text() const { return read_file(path_ + "/journal.jsonl"); }

    // The journal's lines of one request.
    std::string lines_of(const std::string& request) const
    {
        std::string found;
        for (const std::string& line : journal())
            if (line.find("\"request\":\"" + request + "\"") != std::string::npos)
                found += line + "\n";
        return found;
    }

    // The first bytes of a file of the reader's.
    std::string head(const std::string& name, std::size_t count) const
    {
        std::string bytes(count, '\0');
        const int fd = ::open((path_ + "/" + name).c_str(), O_RDONLY | O_CLOEXEC);
        const ssize_t n = fd < 0 ? -1 : ::pread(fd, bytes.data(), count, 0);
        if (fd >= 0)
            ::close(fd);
        return bytes.substr(0, n < 0 ? 0 : static_cast<std::size_t>(n));
    }

    // Writes to the PC's end of the gadget serial port; with `bytes` empty,
    // reads what waits there instead.
    std::string pc(const std::string& bytes = {}) const
    {
        std::string path = read_file(path_ + "/ttyGS0.pc");
        path.pop_back();
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        std::string got;
        if (!bytes.empty()) {
            EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        } else {
            char buf[256];
            for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
                got.append(buf, static_cast<std::size_t>(n));
        }
        ::close(fd);
        return got;
    }

    static int open_node(const char* path, int flags = O_RDWR)
    {
        const int fd = sys::open(path, flags);
        EXPECT_GE(fd, 0) << path << ": " << std::strerror(errno);
        return fd;
    }
};

// A read or poll that must wait for input: a fault that lets requests pass
// first, or halves the data, leaves the wait as it was; only a pass that got
// its input counts.
TEST_F(FaultEffectsTest, AWaitingReadWaitsUnlessTheFaultFailsItAtOnce)
{
    struct Row {
        std::string fault;
        const char* path;
        bool poll;
        std::function<void(int fd)> feed;  // `fed` bytes come, from any thread
        ssize_t fed;
    };
    const auto gadget = [&](int) { pc("abcd"); };
    const auto panel = [](int fd) { ASSERT_EQ(sys::write(fd, "\x01", 1), 1); };  // answered with 4 bytes
    const Row rows[] = {
        {"ttyGS0:read EIO 1 after 1", "/dev/ttyGS0", false, gadget, 4},
        {"ttyGS0:read short 1", "/dev/ttyGS0", false, gadget, 4},
        {"ttymxc1:read EIO 1 after 1", "/dev/ttymxc1", false, panel, 4},
        {"ttymxc1:read short 1", "/dev/ttymxc1", false, panel, 4},
        {"poll EIO 1 after 1", "/dev/ttyGS0", true, gadget, 4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        create(vreader::ReaderConfig{});
        const int fd = open_node(row.path);
        set_fault(row.fault);
        // The input comes from another thread, a moment after the wait began.
        struct Feeder {
            std::function<void()> body;
            std::promise<void> done;
        };
        auto* feeder = new Feeder{[&row, fd] {
                                      std::this_thread::sleep_for(std::chrono::milliseconds(100));
                                      row.feed(fd);
                                  },
                                  {}};
        std::future<void> fed = feeder->done.get_future();
        ASSERT_EQ(sys::start_detached_thread(
                      [](void* argument) -> void* {
                          const std::unique_ptr<Feeder> job(static_cast<Feeder*>(argument));
                          job->body();
                          job->done.set_value();
                          return nullptr;
                      },
                      feeder),
                  0);
        char buf[64];
        struct pollfd wait {fd, POLLIN, 0};
        const ssize_t first = row.poll ? sys::poll(&wait, 1, -1) : sys::read(fd, buf, sizeof buf);
        const int error = errno;
        fed.wait();
        if (row.fault.find("short") != std::string::npos) {
            EXPECT_EQ(first, row.fed / 2) << std::strerror(error);
            next_run();
            continue;
        }
        EXPECT_EQ(first, row.poll ? 1 : row.fed) << std::strerror(error);
        if (row.poll)
            EXPECT_EQ(sys::read(fd, buf, sizeof buf), row.fed);
        else
            row.feed(fd);  // the next read need not wait
        const ssize_t second = row.poll ? sys::poll(&wait, 1, -1) : sys::read(fd, buf, sizeof buf);
        EXPECT_EQ(second, -1);
        EXPECT_EQ(errno, EIO);
        EXPECT_EQ(faults(), "");
        next_run();
    }
}

}  // namespace
}  // namespace vreader_test
