// The network interfaces as a program asks about them: an IPv4 datagram
// socket and SIOCGIFHWADDR, on the program's virtual clock.
#include "tests/support/json_line.hpp"
#include "tests/vreader/model/reader_fixture.hpp"
#include "vreader/model/devices/net/network_interfaces.hpp"

#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>

namespace vreader_test {
namespace {

class NetworkTest : public ReaderTest {
protected:
    void interfaces(const std::vector<std::pair<std::string, std::string>>& keys)
    {
        vreader::NetInterfaces list = vreader::default_interfaces();
        for (const auto& [key, value] : keys)
            ASSERT_EQ(vreader::set_interface_key(list, key, value), "") << key;
        ASSERT_EQ(vreader::save_interfaces(path_ + "/net.conf", list), 0);
    }

    // One hardware-address request; 0 with the address, or the errno.
    int ask(int fd, const std::string& name, std::string* mac = nullptr)
    {
        ifreq request{};
        std::memcpy(request.ifr_name, name.data(), std::min(name.size(), sizeof request.ifr_name));
        if (sys::ioctl(fd, SIOCGIFHWADDR, &request) != 0)
            return errno;
        EXPECT_EQ(request.ifr_hwaddr.sa_family, 1);  // ARPHRD_ETHER
        if (mac != nullptr)
            mac->assign(request.ifr_hwaddr.sa_data, 6);
        return 0;
    }
};

TEST_F(NetworkTest, PresentLateAndMissingInterfacesOnTheVirtualClock)
{
    interfaces(
        {{"eth1.mac", "0a:00:00:00:00:01"}, {"eth1.appears_after", "3"}, {"abcdefghijklmno.mac", "0A:00:00:00:00:02"}});
    const int fd = sys::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    std::string mac;
    EXPECT_EQ(ask(fd, "wlan0", &mac), 0);
    EXPECT_EQ(mac, "\x06\x3F\xA2\x91\x5C\xE7");
    // The kernel reads at most 15 characters of a name.
    EXPECT_EQ(ask(fd, "abcdefghijklmnop", &mac), 0);
    EXPECT_EQ(mac, std::string("\x0A\0\0\0\0\x02", 6));

    // Ten attempts a second apart, as a provisioning tool waits for a
    // driver: the late interface answers at the third, the missing one never.
    const struct {
        const char* name;
        int attempts;  // until the first success; 11: none
    } cases[] = {{"eth1", 3}, {"wlan9", 11}};
    for (const auto& c : cases) {
        next_run();
        const int socket = sys::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        int attempt = 1;
        for (; attempt <= 10; ++attempt) {
            ASSERT_EQ(sys::poll(nullptr, 0, 1000), 0);
            const int error = ask(socket, c.name);
            if (error == 0)
                break;
            EXPECT_EQ(error, ENODEV);
        }
        EXPECT_EQ(attempt, c.attempts) << c.name;
        EXPECT_EQ(sys::times(nullptr), ticks_after_boot(100 * std::min(attempt, 10))) << c.name;
        EXPECT_EQ(sys::close(socket), 0);
    }
    const auto asked = requests("SIOCGIFHWADDR");
    ASSERT_EQ(asked.size(), 2u + 3u + 10u);
    EXPECT_EQ(asked[0].text("mac"), "06:3F:A2:91:5C:E7");
    EXPECT_EQ(asked[3].text("name"), "eth1");
    EXPECT_EQ(asked[3].number("at_us"), 2000000);
    EXPECT_EQ(asked[3].number("errno"), ENODEV);
    EXPECT_EQ(asked[4].text("mac"), "0A:00:00:00:00:01");
    EXPECT_EQ(requests("close").back().text("path"), "socket:udp");
}

TEST_F(NetworkTest, OnlyIpv4DatagramSocketsAreModelledAndFaultsHitThem)
{
    const int fd = sys::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(fd, 0);
    struct stat st {};
    EXPECT_EQ(sys::fstat(fd, &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(sys::write(fd, "x", 1), -1);
    EXPECT_EQ(errno, EDESTADDRREQ);
    // No datagram ever comes: a read waits for ever, and so ends as only a
    // signal could end it, unless the socket does not wait.
    char byte = 0;
    for (const auto& [type, error] : {std::pair<int, int>{SOCK_DGRAM, EINTR}, {SOCK_DGRAM | SOCK_NONBLOCK, EAGAIN}}) {
        const int reader = sys::socket(AF_INET, type, 0);
        EXPECT_EQ(sys::read(reader, &byte, 1), -1);
        EXPECT_EQ(errno, error) << type;
        sys::close(reader);
    }
    EXPECT_EQ(sys::ioctl(fd, SIOCGIFHWADDR, nullptr), -1);
    EXPECT_EQ(errno, EFAULT);
    for (const auto& [domain, type] : {std::pair{AF_INET, SOCK_STREAM}, {AF_INET6, SOCK_DGRAM}}) {
        EXPECT_EQ(sys::socket(domain, type, 0), -1);
        EXPECT_EQ(errno, ENOSYS);
    }

    testing_support::write_file(path_ + "/faults", "net:SIOCGIFHWADDR EIO 1\nsocket EMFILE 1\n");
    EXPECT_EQ(ask(fd, "wlan0"), EIO);
    EXPECT_EQ(ask(fd, "wlan0"), 0);
    EXPECT_EQ(sys::socket(AF_INET, SOCK_DGRAM, 0), -1);
    EXPECT_EQ(errno, EMFILE);
    EXPECT_EQ(requests("SIOCGIFHWADDR")[1].text("injected"), "true");

    // A reader without interfaces, and an interface removed.
    interfaces({{"wlan0", "none"}});
    EXPECT_EQ(ask(fd, "wlan0"), ENODEV);
    EXPECT_EQ(sys::close(fd), 0);
}

}  // namespace
}  // namespace vreader_test
