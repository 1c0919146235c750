// What a USB hot-plug daemon touches, driven in-process through the platform
// layer: the uevent socket, the gadget's LUN attributes, the block nodes it
// makes, and the shell commands it runs.
#include "tests/support/json_line.hpp"
#include "tests/vreader/model/reader_fixture.hpp"
#include "vreader/model/devices/emmc/mmc_block_devices.hpp"
#include "vreader/model/devices/gadget/uevent_queue.hpp"
#include "vreader/model/state/gadget_content.hpp"

#include <linux/netlink.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <sys/socket.h>

namespace vreader_test {
namespace {

class HotplugModelTest : public ReaderTest {
protected:
    // Sends a message as the kernel does; how many sockets got a copy.
    std::size_t send(const std::string& message)
    {
        std::size_t copies = 0;
        EXPECT_EQ(vreader::send_uevent(path_, message, copies), 0);
        return copies;
    }

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
};

TEST_F(HotplugModelTest, UeventSocketHandsOutWholeMessagesInOrder)
{
    const int fd = uevent_socket(1);
    const std::string first("add@/a\0ACTION=add\0", 18);
    send(first);
    send(std::string(70000, 'm'));
    send("last");
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
    // Not in the uevent group: nothing arrives.
    const int deaf = uevent_socket(0, SOCK_RAW | SOCK_NONBLOCK);
    EXPECT_EQ(send("unheard"), 0u);
    char buf[64];
    EXPECT_EQ(sys::recv(deaf, buf, sizeof buf, 0), -1);
    EXPECT_EQ(errno, EAGAIN);

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
    EXPECT_EQ(send("waiting"), 1u);
    testing_support::write_file(path_ + "/faults", "uevent:recv ENOBUFS 1\nuevent:socket EMFILE 1\n");
    EXPECT_EQ(sys::recv(listening, buf, sizeof buf, 0), -1);
    EXPECT_EQ(errno, ENOBUFS);
    EXPECT_EQ(sys::recv(listening, buf, sizeof buf, 0), 7);
    EXPECT_EQ(sys::socket(AF_NETLINK, SOCK_DGRAM, NETLINK_KOBJECT_UEVENT), -1);
    EXPECT_EQ(errno, EMFILE);
}

TEST_F(HotplugModelTest, ABoundSocketKeepsThePortItsFirstBindGave)
{
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    const auto bind = [&](int fd, std::uint32_t port, std::uint32_t groups) {
        address.nl_pid = port;
        address.nl_groups = groups;
        return sys::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 ? 0 : errno;
    };
    const int own = sys::socket(AF_NETLINK, SOCK_DGRAM, NETLINK_KOBJECT_UEVENT);
    const int chosen = sys::socket(AF_NETLINK, SOCK_DGRAM, NETLINK_KOBJECT_UEVENT);
    const auto pid = static_cast<std::uint32_t>(::getpid());
    const struct {
        int fd;
        std::uint32_t port, groups;
        int error;
    } binds[] = {
        {own, 0, 1, 0},             // gets the process's id
        {own, 0, 1, EINVAL},        // 0 would ask for a port again
        {own, pid + 1, 1, EINVAL},  // another port
        {own, pid, 0, 0},           // its own port: leaves the group
        {chosen, 777777, 1, 0},     // a port of its choosing
        {chosen, 777777, 0, 0},
        {chosen, pid, 1, EINVAL},
    };
    for (const auto& b : binds)
        EXPECT_EQ(bind(b.fd, b.port, b.groups), b.error) << b.port << " " << b.groups;
    EXPECT_EQ(send("unheard"), 0u);

    // The call's own checks come first: no address to copy, or more than a
    // socket address can be.
    const int fresh = sys::socket(AF_NETLINK, SOCK_RAW, NETLINK_KOBJECT_UEVENT);
    EXPECT_EQ(sys::bind(fresh, nullptr, 0), -1);
    EXPECT_EQ(errno, EINVAL);
    sockaddr_storage large{};
    std::memcpy(&large, &address, sizeof address);
    EXPECT_EQ(sys::bind(fresh, reinterpret_cast<sockaddr*>(&large), sizeof large + 1), -1);
    EXPECT_EQ(errno, EINVAL);
}

TEST_F(HotplugModelTest, EveryListeningSocketGetsItsOwnCopyAndALaterOneNothingBefore)
{
    // Each step sends a message, then every socket open so far is read out.
    struct Step {
        unsigned new_socket_groups;  // a socket bound before the send, or 0 for none
        std::size_t copies;
        std::vector<std::string> received;  // by each socket opened so far, "" for nothing
    };
    const std::vector<Step> steps = {
        {0, 0, {}},                  // nobody listens: lost
        {1, 1, {"m1"}},              // the first socket gets nothing of m0
        {~0u, 2, {"m2", "m2"}},      // "all groups" listens too: a copy each
        {2, 2, {"m3", "m3", ""}},    // another group is deaf to uevents
    };
    std::vector<int> sockets;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(i);
        if (steps[i].new_socket_groups != 0)
            sockets.push_back(uevent_socket(steps[i].new_socket_groups, SOCK_DGRAM | SOCK_NONBLOCK));
        EXPECT_EQ(send("m" + std::to_string(i)), steps[i].copies);
        for (std::size_t s = 0; s < sockets.size(); ++s) {
            char buf[16];
            const ssize_t n = sys::recv(sockets[s], buf, sizeof buf, 0);
            EXPECT_EQ(n < 0 ? "" : std::string(buf, static_cast<std::size_t>(n)), steps[i].received[s]) << s;
        }
    }
    // A message for a program yet to start waits for the next bind.
    std::size_t copies = 0;
    for (const int fd : sockets)
        sys::close(fd);
    ASSERT_EQ(vreader::send_uevent_at_bind(path_, "early", copies), 0);
    EXPECT_EQ(copies, 0u);
    const int late = uevent_socket(1, SOCK_DGRAM | SOCK_NONBLOCK);
    char buf[16];
    EXPECT_EQ(sys::recv(late, buf, sizeof buf, 0), 5);
    EXPECT_EQ(sys::recv(late, buf, sizeof buf, 0), -1);
}

// One store: open, write the bytes, close. 0 or the errno.
int store(const std::string& path, const std::string& bytes)
{
    const int fd = sys::open(path.c_str(), O_WRONLY);
    if (fd < 0)
        return errno;
    const ssize_t n = sys::write(fd, bytes.data(), bytes.size());
    const int error = n < 0 ? errno : 0;
    sys::close(fd);
    return error;
}

std::string shown(const std::string& path)
{
    char text[256];
    return sys::read_text(path.c_str(), text, sizeof text) < 0 ? "error" : text;
}

const std::string kLun0 = "/sys/devices/platform/usb_mass_storage/lun0/";

TEST_F(HotplugModelTest, BlockNodesStayInTheReaderAndLunStoresActAsTheKernelDoes)
{
    ASSERT_EQ(sys::mknod("/tmp/lun0", S_IFBLK | 0600, makedev(179, 68)), 0);
    EXPECT_EQ(sys::mknod("/tmp/lun0", S_IFBLK | 0600, makedev(179, 68)), -1);
    EXPECT_EQ(errno, EEXIST);
    ASSERT_EQ(sys::mknod("/tmp/lun1", S_IFCHR | 0600, makedev(1, 3)), 0);
    // Backing files of the host's: 390 whole sectors, less than one, a folder.
    const std::string image = path_ + "/backing/image.bin", tiny = path_ + "/backing/tiny.bin";
    ASSERT_EQ(::mkdir((path_ + "/backing").c_str(), 0700), 0);
    testing_support::write_file(image, std::string(200000, 'i'));
    testing_support::write_file(tiny, std::string(511, 't'));
    struct stat st {};
    ASSERT_EQ(sys::stat("/tmp/lun0", &st), 0);
    EXPECT_TRUE(S_ISBLK(st.st_mode));
    EXPECT_EQ(st.st_rdev, makedev(179, 68));
    EXPECT_NE(::access("/tmp/lun0", F_OK), 0) << "a virtual mknod reached the host";

    const struct {
        std::string attribute, bytes;
        int error;
        std::string file_after, ro_after;
    } stores[] = {
        {"file", "/tmp/lun0", 0, "/tmp/lun0\n", "0\n"},
        {"ro", "1\n", EBUSY, "/tmp/lun0\n", "0\n"},  // not while a medium is attached
        {"file", std::string(1, '\0'), 0, "\n", "0\n"},
        {"ro", "1\n", 0, "\n", "1\n"},
        {"ro", "yes", 0, "\n", "1\n"},  // a boolean as the kernel reads one
        {"file", std::string("/tmp/lun0\0junk", 14), 0, "/tmp/lun0\n", "1\n"},
        {"file", "\n", 0, "\n", "1\n"},
        {"file", "/tmp/lun0\n", 0, "/tmp/lun0\n", "1\n"},
        {"file", "", 0, "/tmp/lun0\n", "1\n"},  // an empty write stores nothing
        {"file", "/tmp/lun7", ENOENT, "/tmp/lun0\n", "1\n"},
        {"file", "/tmp/lun1", EINVAL, "/tmp/lun0\n", "1\n"},  // not a block node
        // Only the one newline at the end goes.
        {"file", "/tmp/lun0\n\n", ENOENT, "/tmp/lun0\n", "1\n"},
        {"file", "/tmp/lun0\njunk", ENOENT, "/tmp/lun0\n", "1\n"},
        {"file", image, 0, image + "\n", "1\n"},
        {"file", tiny, 525, image + "\n", "1\n"},  // the kernel's ETOOSMALL
        {"file", path_ + "/backing", EINVAL, image + "\n", "1\n"},
        {"file", path_ + "/backing/missing", ENOENT, image + "\n", "1\n"},
        {"file", "/dev/mmcblk2", 0, "/dev/mmcblk2\n", "1\n"},
    };
    for (const auto& s : stores) {
        EXPECT_EQ(store(kLun0 + s.attribute, s.bytes), s.error) << s.attribute << " " << s.bytes;
        EXPECT_EQ(shown(kLun0 + "file"), s.file_after) << s.bytes;
        EXPECT_EQ(shown(kLun0 + "ro"), s.ro_after) << s.bytes;
    }
    // The daemon's re-attach: eject and attach on one open attribute.
    const int fd = sys::open((kLun0 + "file").c_str(), O_WRONLY);
    EXPECT_EQ(sys::write(fd, "", 1), 1);
    EXPECT_EQ(sys::write(fd, "/tmp/lun0", 9), 9);
    sys::close(fd);
    EXPECT_EQ(shown(kLun0 + "file"), "/tmp/lun0\n");

    // An attached node may go; the LUN keeps its medium, as the kernel does.
    EXPECT_EQ(sys::unlink("/tmp/lun0"), 0);
    EXPECT_EQ(sys::unlink("/tmp/lun0"), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(sys::stat("/tmp/lun0", &st), -1);
    EXPECT_EQ(shown(kLun0 + "file"), "/tmp/lun0\n");

    // The gadget has three LUNs by default: lun3 does not exist.
    EXPECT_EQ(store("/sys/devices/platform/usb_mass_storage/lun3/file", ""), ENOENT);
    EXPECT_EQ(sys::stat("/sys/devices/platform/usb_mass_storage/lun3/ro", &st), -1);
    EXPECT_EQ(sys::stat("/sys/devices/platform/usb_mass_storage/lun2/ro", &st), 0);
    const auto stored = requests("store");
    ASSERT_FALSE(stored.empty());
    EXPECT_EQ(stored[0].text("effect"), "attach");
    EXPECT_EQ(stored[0].text("device"), "179:68");
    const auto sectors = [](const testing_support::JsonLine& line) {
        return line.has("sectors") ? line.number("sectors") : 0;
    };
    EXPECT_EQ(std::count_if(stored.begin(), stored.end(), [&](const auto& line) { return sectors(line) == 390; }), 1);
    // Nodes elsewhere are not modelled, and nothing is made on the host.
    EXPECT_EQ(sys::mknod("/tmp/other-node", S_IFBLK | 0600, 0), -1);
    EXPECT_EQ(errno, ENOSYS);
}

TEST_F(HotplugModelTest, ABlockNodeAttachesOnlyWhileItsDeviceIsThere)
{
    const struct {
        const char* node;
        dev_t device;
        const char* removed;  // taken away first, or null
        int error;
    } rows[] = {
        {"/tmp/lun0", makedev(179, 68), nullptr, 0},                 // mmcblk2p4
        {"/tmp/lun1", makedev(179, 0), nullptr, 0},                  // the SD card
        {"/tmp/lun2", makedev(179, 73), nullptr, ENXIO},             // no p9
        {"/tmp/lun3", static_cast<dev_t>(0x7FFFFF00), nullptr, ENXIO},  // -lun0 0x7FFFFF00
        {"/tmp/lun4", makedev(179, 68), "mmcblk2p4", ENXIO},
        {"/tmp/lun5", makedev(179, 1), "mmcblk0", ENXIO},            // the card's partition goes with it
    };
    for (const auto& row : rows) {
        if (row.removed != nullptr) {
            ASSERT_EQ(vreader::set_block_device(reader(), row.removed, "0"), "");
        }
        ASSERT_EQ(sys::mknod(row.node, S_IFBLK | 0600, row.device), 0);
        EXPECT_EQ(store(kLun0 + "file", row.node), row.error) << row.node;
        EXPECT_EQ(store(kLun0 + "file", std::string(1, '\0')), 0);
    }
    EXPECT_EQ(vreader::removed_block_devices(reader()), (std::vector<std::string>{"mmcblk0", "mmcblk0p1", "mmcblk2p4"}));
    EXPECT_NE(vreader::set_block_device(reader(), "mmcblk2", "0"), "") << "the eMMC stays";
    EXPECT_NE(vreader::set_block_device(reader(), "mmcblk2p9", "0"), "");
    EXPECT_NE(vreader::set_block_device(reader(), "mmcblk0p1", "1"), "") << "not without its card";
    ASSERT_EQ(vreader::set_block_device(reader(), "mmcblk2p4", "1"), "");
    EXPECT_EQ(store(kLun0 + "file", "/tmp/lun0"), 0);
}

TEST_F(HotplugModelTest, ALockedDoorKeepsTheMediumAgainstEveryFileStore)
{
    const auto door = [&](bool locked) {
        vreader::GadgetContent gadget;
        std::string why;
        ASSERT_TRUE(vreader::load_gadget(path_, gadget, why)) << why;
        gadget.luns[0].prevent = locked;
        ASSERT_EQ(vreader::save_gadget(path_, gadget), 0);
    };
    ASSERT_EQ(sys::mknod("/tmp/lun0", S_IFBLK | 0600, makedev(179, 68)), 0);
    const struct {
        bool locked;
        std::string bytes;
        int error;
        std::string file_after;
    } stores[] = {
        {false, "/tmp/lun0", 0, "/tmp/lun0\n"},
        {true, std::string(1, '\0'), EBUSY, "/tmp/lun0\n"},
        {true, "\n", EBUSY, "/tmp/lun0\n"},
        {true, "/dev/mmcblk2", EBUSY, "/tmp/lun0\n"},
        {false, "\n", 0, "\n"},
        {true, "/dev/mmcblk2", 0, "/dev/mmcblk2\n"},  // no medium to keep
    };
    for (const auto& s : stores) {
        door(s.locked);
        EXPECT_EQ(store(kLun0 + "file", s.bytes), s.error) << s.locked << " " << s.bytes;
        EXPECT_EQ(shown(kLun0 + "file"), s.file_after) << s.bytes;
    }
}

TEST_F(HotplugModelTest, ShellCommandsLoadAndUnloadModulesAndRunNothing)
{
    const struct {
        const char* command;
        int status;
        const char* modules;
    } commands[] = {
        {"modprobe ehci-hcd; modprobe g_android", 0, "ehci-hcd g_android"},
        {"modprobe g_android", 0, "ehci-hcd g_android"},
        {"modprobe -r ehci_hcd;modprobe -r g_android", 0, ""},
        {"touch /tmp/vreader-system-ran", 127 << 8, ""},
        {"modprobe ehci-hcd; reboot", 127 << 8, "ehci-hcd"},
        {"reboot; modprobe -r ehci-hcd", 0, ""},
    };
    for (const auto& c : commands) {
        EXPECT_EQ(sys::system(c.command), c.status) << c.command;
        EXPECT_EQ(requests("system").back().text("modules"), c.modules) << c.command;
    }
    EXPECT_NE(::access("/tmp/vreader-system-ran", F_OK), 0);
    EXPECT_NE(sys::system(nullptr), 0);
    testing_support::write_file(path_ + "/faults", "system EAGAIN 1\n");
    EXPECT_EQ(sys::system("modprobe x"), -1);
    EXPECT_EQ(errno, EAGAIN);
}

}  // namespace
}  // namespace vreader_test
