// usbhotplugd: keeps the USB mass-storage gadget's logical units attached to
// the right block devices. It follows the kernel's uevents (the gadget coming
// online, the block devices coming and going) and, with -usb, the switch
// that loads and unloads the USB modules; at normal exit it ejects every LUN.
#include "hotplug/uevent_message.hpp"
#include "platform/numbers.hpp"
#include "platform/sys.hpp"
#include "platform/unique_fd.hpp"

#include <fcntl.h>
#include <getopt.h>
#include <linux/input.h>
#include <linux/netlink.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

using usbhotplug::get_param_value;
using usbhotplug::parse_number;
using usbhotplug::UeventMessage;

constexpr int kLuns = 9;
constexpr int kPollEntries = 10;  // the uevent socket and up to nine input devices
constexpr int kInputDevices = kPollEntries - 1;
constexpr std::size_t kMessageMax = std::size_t{64} * 1024;
constexpr std::uint64_t kMajor179 = 0xB300;
constexpr std::uint16_t kUsbSwitch = 12;

#if defined(__arm__)
static_assert(sizeof(input_event) == 16, "the reader's input records are 16 bytes");
#endif

struct BlockDevice {
    std::uint64_t device;  // 0: the LUN has no backing device
    std::int32_t read_only;
};

BlockDevice block_devices[kLuns] = {
    {0xB344, 0},  // 179:68
    {0xB300, 0},  // 179:0
    {0xB347, 1},  // 179:71
};

pollfd poll_set[kPollEntries];
int poll_count = 0;

const option long_options[] = {
    {"off", no_argument, nullptr, 'o'},        {"usb", no_argument, nullptr, 'u'},
    {"lun0", required_argument, nullptr, '0'}, {"lun1", required_argument, nullptr, '1'},
    {"lun2", required_argument, nullptr, '2'}, {nullptr, 0, nullptr, 0},
};

void lun_attribute(char (&path)[128], int lun, const char* name)
{
    std::snprintf(path, sizeof path, "/sys/devices/platform/usb_mass_storage/lun%d/%s", lun, name);
}

void node_path(char (&path)[32], int lun) { std::snprintf(path, sizeof path, "/tmp/lun%d", lun); }

void write_string(int fd, const char* text) { sys::write(fd, text, std::strlen(text)); }

// The read-only flag to the LUN's "ro" attribute, if it opens.
void write_read_only(int lun)
{
    char path[128];
    lun_attribute(path, lun, "ro");
    const sys::UniqueFd ro(sys::open(path, O_WRONLY | O_CLOEXEC));
    if (!ro.valid())
        return;
    char text[16];
    std::snprintf(text, sizeof text, "%d\n", block_devices[lun].read_only);
    write_string(ro.get(), text);
}

sys::UniqueFd open_file_attribute(int lun)
{
    char path[128];
    lun_attribute(path, lun, "file");
    return sys::UniqueFd(sys::open(path, O_WRONLY | O_CLOEXEC));
}

// Attaches every LUN that has a device, through a node of its own. The
// kernel keeps a LUN's read-only flag while it holds a medium, so a LUN
// that may still hold one (a daemon killed before its exit eject) is
// emptied before the flag is written; otherwise a read-only partition
// would stay writable from the PC.
void initialize()
{
    for (int lun = 0; lun < kLuns; ++lun) {
        const sys::UniqueFd file = open_file_attribute(lun);
        if (!file.valid())
            break;  // the gadget has no further LUNs
        if (block_devices[lun].device != 0)
            sys::write(file.get(), "", 1);
        write_read_only(lun);
        if (block_devices[lun].device != 0) {
            char node[32];
            node_path(node, lun);
            sys::unlink(node);
            sys::mknod(node, S_IFBLK | 0600, static_cast<dev_t>(block_devices[lun].device));
            write_string(file.get(), node);
        }
    }
}

// Ejects every LUN: an empty name.
void finalize()
{
    for (int lun = 0; lun < kLuns; ++lun) {
        const sys::UniqueFd file = open_file_attribute(lun);
        if (!file.valid())
            break;
        sys::write(file.get(), "", 1);
    }
}

void handle_usb_composite(const UeventMessage& message)
{
    std::string_view enabled, state;
    if (message.last_value("ENABLED=", enabled) && message.last_value("STATE=", state) && enabled == "1" &&
        state == "online")
        initialize();
}

void handle_block(const UeventMessage& message)
{
    std::string_view action, devname, major, minor;
    if (!message.last_value("ACTION=", action) || !message.last_value("DEVNAME=", devname) ||
        !message.last_value("MAJOR=", major) || !message.last_value("MINOR=", minor))
        return;
    const std::int64_t device = (std::int64_t{parse_number(major)} << 8) | std::int64_t{parse_number(minor)};
    int lun = 0;
    // Only a LUN that has a device can be this one's.
    while (lun < kLuns &&
           (block_devices[lun].device == 0 || block_devices[lun].device != static_cast<std::uint64_t>(device)))
        ++lun;
    if (lun == kLuns)
        return;
    // Emptied first: the read-only flag cannot change under a medium.
    const sys::UniqueFd file = open_file_attribute(lun);
    if (!file.valid())
        return;
    sys::write(file.get(), "", 1);
    write_read_only(lun);
    if (action == "add") {
        char node[32];
        node_path(node, lun);
        write_string(file.get(), node);
    }
}

void handle_subsystem(const UeventMessage& message)
{
    std::string_view string;
    for (std::size_t at = 0; message.next(at, string);) {
        std::string_view subsystem;
        if (get_param_value(string, "SUBSYSTEM=", subsystem) == nullptr)
            continue;
        if (subsystem == "usb_composite") {
            handle_usb_composite(message);
            return;
        }
        if (subsystem == "block") {
            handle_block(message);
            return;
        }
    }
}

void handle_events()
{
    if (poll_set[0].revents & POLLIN) {
        static char message[kMessageMax];
        const ssize_t length = sys::read(poll_set[0].fd, message, sizeof message);
        if (length < 0) {
            std::perror("read");
            return;
        }
        handle_subsystem(UeventMessage(message, static_cast<std::size_t>(length)));
    }
    for (int i = 1; i < poll_count; ++i) {
        const short revents = poll_set[i].revents;
        if (!(revents & POLLIN)) {
            // A device that is gone would report itself for ever.
            if (revents & (POLLERR | POLLHUP | POLLNVAL))
                poll_set[i].fd = -1;
            continue;
        }
        input_event event{};
        if (sys::read(poll_set[i].fd, &event, sizeof event) != static_cast<ssize_t>(sizeof event)) {
            std::perror("read");
            return;
        }
        if (event.type == EV_SW && event.code == kUsbSwitch)
            sys::system(event.value != 0 ? "modprobe ehci-hcd; modprobe g_android"
                                         : "modprobe -r ehci-hcd; modprobe -r g_android");
    }
}

// -usb: the input devices from event0 on, as many as the poll set holds,
// each kept by its owner in `inputs` (the poll set forgets a device that is
// gone).
void open_input_devices(sys::UniqueFd (&inputs)[kInputDevices])
{
    for (int n = 0; poll_count < kPollEntries; ++n) {
        char path[64];
        std::snprintf(path, sizeof path, "/dev/input/event%d", n);
        sys::UniqueFd& input = inputs[poll_count - 1];
        input.reset(sys::open(path, O_RDONLY | O_CLOEXEC));
        if (!input.valid())
            return;
        poll_set[poll_count++] = {input.get(), POLLIN, 0};
    }
}

void set_lun(int lun, const char* argument)
{
    const long number = sys::strtol(argument, nullptr, 0);
    const std::uint64_t minor = number < 0 ? std::uint64_t(-std::int64_t{number}) : std::uint64_t(number);
    block_devices[lun].device = minor | kMajor179;
    block_devices[lun].read_only = number < 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv)
{
    // Close-on-exec, as every descriptor of the daemon: the modprobe shells
    // have no business with them. The daemon holds them until main returns.
    const sys::UniqueFd uevents(sys::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT));
    sys::UniqueFd inputs[kInputDevices];
    if (!uevents.valid()) {
        std::perror("socket");
        return 255;
    }
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_pid = static_cast<std::uint32_t>(sys::getpid());
    address.nl_groups = 0xFFFFFFFF;
    if (sys::bind(uevents.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        std::perror("bind");
        return 255;
    }
    poll_set[0] = {uevents.get(), POLLIN, 0};
    poll_count = 1;

    for (int option; (option = getopt_long_only(argc, argv, "", long_options, nullptr)) != -1;) {
        if (option == 'o') {
            finalize();
            return 0;
        }
        if (option == 'u')
            open_input_devices(inputs);
        else if (option >= '0' && option <= '2')
            set_lun(option - '0', optarg);
        else
            break;  // the parser said what it did not know
    }

    // Runs as the process exits, after main's descriptors are closed.
    std::atexit(finalize);
    initialize();
    for (;;) {
        if (sys::poll(poll_set, static_cast<nfds_t>(poll_count), -1) < 0) {
            std::perror("poll");
            return 255;
        }
        handle_events();
    }
}
