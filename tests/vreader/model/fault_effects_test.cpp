// Faults on the data nodes: every node honours every effect its reads and
// writes can be given, and a read or poll that waits for input waits as it
// would without the fault unless the fault fails it at once.
#include "tests/vreader/model/reader_fixture.hpp"
#include "vreader/model/devices/gadget/uevent_queue.hpp"
#include "vreader/model/devices/past_log/past_log.hpp"

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

struct DataNode {
    std::string device;
    std::function<int()> open;
    std::function<void(int fd)> ready;  // makes `full` bytes wait for a read
    std::size_t count, full, half;      // a read asks `count`; gets `full`, or `half` when short
    std::string written;                // empty: the node takes no writes
    std::function<std::string()> stored;  // what the node keeps of writes
};

TEST_F(FaultEffectsTest, EveryDataNodeHonoursEveryEffect)
{
    const std::string entry = vreader::past_log::encode({1, 1, 0, 0, 4, "t", "0123456789"});
    const auto unlock_log = [] {
        const int control = open_node("/dev/melgrin");
        std::uint32_t value = 0;
        EXPECT_EQ(sys::ioctl(control, 3, &value), 0);
        const std::uint32_t challenge = value;
        value = ~challenge;
        EXPECT_EQ(sys::ioctl(control, 4, &value), 0);
        value = ~challenge ^ 0x5A17C3E9u;
        EXPECT_EQ(sys::ioctl(control, 5, &value), 0);
        sys::close(control);
    };
    const auto write_node = [](int fd, const std::string& bytes) {
        ASSERT_EQ(sys::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    };
    const auto none = [](int) {};
    const std::vector<DataNode> nodes = {
        {"fb0", [] { return open_node("/dev/fb0"); }, none, 64, 64, 32, "ABCDEFGH", [&] { return head("fb0.mem", 8); }},
        {"mmcblk2", [] { return open_node("/dev/mmcblk2"); }, none, 64, 64, 32, "ABCDEFGH",
         [&] { return head("emmc.img", 8); }},
        {"ttymxc1", [] { return open_node("/dev/ttymxc1"); }, [&](int fd) { write_node(fd, "\x01"); }, 64, 4, 2,
         "\x01\x01", [&] { return lines_of("panel_request"); }},
        {"ttyGS0", [] { return open_node("/dev/ttyGS0"); }, [&](int) { pc("abcdefgh"); }, 64, 8, 4, "ABCDEFGH",
         [&] { return pc(); }},
        {"ttyUSB0", [] { return open_node("/dev/ttyUSB0"); }, [&](int fd) { write_node(fd, "AT\r\n"); }, 64, 4, 2,
         "AT\r\n", [&] { return lines_of("modem_command"); }},
        {"sub_cpu",
         [] {
             EXPECT_EQ(sys::write_text("/sys/devices/platform/mxc_spi.2/spi3.2/control_mode", "update"), 0);
             return open_node("/dev/sub_cpu");
         },
         [&](int fd) { write_node(fd, "\xEE\x02\xF0\xF2"); }, 64, 5, 2, "\xEE\x02\xF0\xF2",
         [&] { return lines_of("sub_cpu_request"); }},
        {"control_mode", [] { return open_node("/sys/devices/platform/mxc_spi.2/spi3.2/control_mode"); }, none, 64, 7,
         3, "update", [&] { return read_file(path_ + "/subcpu.state"); }},
        {"luns", [] { return open_node("/sys/devices/platform/usb_mass_storage/lun0/ro"); }, none, 64, 2, 1, "1\n",
         [&] { return read_file(path_ + "/gadget.conf"); }},
        {"log_past",
         [&] {
             write_file(path_ + "/past_log.bin", entry);
             unlock_log();
             return open_node("/dev/log_past", O_RDONLY);
         },
         none, 4608, entry.size(), entry.size() / 2, "", nullptr},
        {"event0", [] { return open_node("/dev/input/event0", O_RDONLY); },
         [&](int) {
             const input_event events[2] = {{{}, EV_KEY, KEY_HOME, 1}, {{}, EV_KEY, KEY_HOME, 0}};
             const int pipe = ::open((path_ + "/input/event0").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
             EXPECT_EQ(::write(pipe, events, sizeof events), static_cast<ssize_t>(sizeof events));
             ::close(pipe);
         },
         2 * sizeof(input_event), 2 * sizeof(input_event), sizeof(input_event), "", nullptr},
        {"uevent",
         [] {
             const int fd = sys::socket(AF_NETLINK, SOCK_DGRAM, NETLINK_KOBJECT_UEVENT);
             sockaddr_nl address{};
             address.nl_family = AF_NETLINK;
             address.nl_groups = 1;
             EXPECT_EQ(sys::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
             return fd;
         },
         [&](int) {
             std::size_t copies = 0;
             ASSERT_EQ(vreader::send_uevent(path_, std::string(40, 'u'), copies), 0);
         },
         64, 40, 32, "", nullptr},
    };
    struct Effect {
        bool write;
        std::string name;  // "" for no fault
    };
    const Effect effects[] = {{false, ""}, {false, "EIO"},   {false, "short"}, {true, ""},
                              {true, "EIO"}, {true, "short"}, {true, "lost"}};
    for (const DataNode& node : nodes) {
        for (const Effect& effect : effects) {
            if (effect.write && node.written.empty())
                continue;
            const std::string fault = node.device + (effect.write ? ":write " : ":read ") + effect.name + " 1";
            SCOPED_TRACE(fault);
            create(vreader::ReaderConfig{});
            const int fd = node.open();
            ASSERT_GE(fd, 0);
            if (!effect.write)
                node.ready(fd);
            const std::string before = node.stored ? node.stored() : "";
            if (!effect.name.empty())
                set_fault(fault);
            std::vector<char> buf(node.count);
            const std::size_t size = effect.write ? node.written.size() : node.full;
            const ssize_t n = effect.write ? sys::write(fd, node.written.data(), size) : sys::read(fd, buf.data(), node.count);
            const int error = errno;
            if (effect.name == "EIO") {
                EXPECT_EQ(n, -1);
                EXPECT_EQ(error, EIO);
            } else if (effect.name == "short") {
                EXPECT_EQ(n, static_cast<ssize_t>(effect.write ? size / 2 : node.half));
            } else {
                EXPECT_EQ(n, static_cast<ssize_t>(size)) << std::strerror(error);
            }
            // A write stores; a lost one, and a failed one, store nothing.
            if (effect.write && effect.name != "short") {
                EXPECT_EQ(node.stored() == before, !effect.name.empty()) << node.stored();
            }
            if (effect.name == "EIO") {
                EXPECT_NE(journal_text().find("\"injected\":true"), std::string::npos);
            }
            EXPECT_EQ(faults(), "") << "the fault was not used up";
            next_run();
        }
    }
}

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
