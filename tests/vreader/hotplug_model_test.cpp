// What a USB hot-plug daemon touches, driven in-process through the platform
// layer: the uevent socket, the gadget's LUN attributes, the block nodes it
// makes, and the shell commands it runs.
#include "tests/support/json_line.hpp"
#include "tests/vreader/reader_fixture.hpp"
#include "vreader/model/uevent_queue.hpp"

#include <linux/netlink.h>
#include <sys/socket.h>

namespace vreader_test {
namespace {

class HotplugModelTest : public ReaderTest {
protected:
    void queue(const std::string& message) { ASSERT_EQ(vreader::queue_uevent(path_, message), 0); }

    int uevent_socket(unsigned groups, int type = SOCK_DGRAM)
    {
        const int fd = sys::socket(AF_NETLINK, type, NETLINK_KOBJECT_UEVENT);
        EXPECT_GE(fd, 0) << std::strerror(errno);
        sockaddr_nl address{};
        address.nl_family = AF_NETLINK;
        address.nl_groups = groups;
        EXPECT_EQ(sys::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        return fd;
    }

    std::vector<testing_support::JsonLine> requests(const std::string& name) const
    {
        std::vector<testing_support::JsonLine> found;
        for (const auto& line : testing_support::parse_journal(testing_support::read_file(path_ + "/journal.jsonl")))
            if (line.text("request") == name)
                found.push_back(line);
        return found;
    }
};

TEST_F(HotplugModelTest, UeventSocketHandsOutWholeMessagesInOrder)
{
    const std::string first("add@/a\0ACTION=add\0", 18);
    queue(first);
    queue(std::string(70000, 'm'));
    queue("last");
    const int fd = uevent_socket(1);
    char buf[65536];
    struct pollfd wait {fd, POLLIN, 0};
    EXPECT_EQ(sys::poll(&wait, 1, -1), 1);
    EXPECT_EQ(wait.revents, POLLIN);
    // Peeking leaves the message; a short buffer cuts it and drops the rest.
    EXPECT_EQ(sys::recv(fd, buf, 4, MSG_PEEK | MSG_TRUNC), 18);
    EXPECT_EQ(sys::recv(fd, buf, 4, 0), 4);
    EXPECT_EQ(std::string(buf, 4), "add@");
    EXPECT_EQ(sys::read(fd, buf, sizeof buf), 65536);
    EXPECT_EQ(buf[65535], 'm');
    EXPECT_EQ(sys::recv(fd, buf, sizeof buf, MSG_DONTWAIT), 4);
    EXPECT_EQ(sys::recv(fd, buf, sizeof buf, MSG_DONTWAIT), -1);
    EXPECT_EQ(errno, EAGAIN);
    EXPECT_EQ(sys::poll(&wait, 1, 0), 0);
    EXPECT_EQ(sys::close(fd), 0);

    const auto received = requests("recv");
    EXPECT_EQ(received[1].text("strings"), "add@/a\\0ACTION=add\\0");
    EXPECT_EQ(received[1].number("length"), 18);
    EXPECT_EQ(received[1].text("truncated"), "true");
    EXPECT_EQ(requests("read")[0].number("length"), 70000);
    const auto bound = requests("bind")[0];
    EXPECT_EQ(bound.number("family"), AF_NETLINK);
    EXPECT_EQ(bound.number("groups"), 1);
}

TEST_F(HotplugModelTest, UeventSocketBindRulesAndFaults)
{
    queue("waiting");
    // Not in the uevent group: nothing arrives, the message stays queued.
    const int deaf = uevent_socket(0, SOCK_RAW | SOCK_NONBLOCK);
    char buf[64];
    EXPECT_EQ(sys::recv(deaf, buf, sizeof buf, 0), -1);
    EXPECT_EQ(errno, EAGAIN);
    EXPECT_EQ(vreader::uevents_waiting(path_), 1u);

    const int fd = sys::socket(AF_NETLINK, SOCK_DGRAM, NETLINK_KOBJECT_UEVENT);
    sockaddr_nl address{};
    const struct {
        int family;
        socklen_t length;
        int error;
    } binds[] = {{AF_INET, sizeof address, EINVAL}, {AF_NETLINK, sizeof address - 1, EINVAL}};
    for (const auto& b : binds) {
        address.nl_family = static_cast<__kernel_sa_family_t>(b.family);
        EXPECT_EQ(sys::bind(fd, reinterpret_cast<sockaddr*>(&address), b.length), -1);
        EXPECT_EQ(errno, b.error) << b.family << " " << b.length;
    }
    EXPECT_EQ(sys::bind(fd, nullptr, sizeof address), -1);
    EXPECT_EQ(errno, EFAULT);

    const int listening = uevent_socket(1);
    testing_support::write_file(path_ + "/faults", "uevent:recv ENOBUFS 1\nuevent:socket EMFILE 1\n");
    EXPECT_EQ(sys::recv(listening, buf, sizeof buf, 0), -1);
    EXPECT_EQ(errno, ENOBUFS);
    EXPECT_EQ(sys::recv(listening, buf, sizeof buf, 0), 7);
    EXPECT_EQ(sys::socket(AF_NETLINK, SOCK_DGRAM, NETLINK_KOBJECT_UEVENT), -1);
    EXPECT_EQ(errno, EMFILE);
}

}  // namespace
}  // namespace vreader_test
