// A program built against the virtual reader that listens to the kernel's
// uevent socket, as a hot-plug daemon does: it prints each message it
// receives ("LENGTH: strings", a NUL shown as |), stops after COUNT of them
// (status 0), and when its poll fails says so and exits through exit(), so
// that its exit handler ("exit handler ran") shows a clean stop. With -usb it
// also reads the input devices /dev/input/event0, 1, ... (as many as open)
// and prints each event ("event TYPE CODE VALUE"), counted like messages.
//     uevent_listen BUFFER_SIZE COUNT [-usb]
#include "platform/sys.hpp"

#include <fcntl.h>
#include <linux/input.h>
#include <linux/netlink.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void say_goodbye() { std::printf("exit handler ran\n"); }

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 4)
        return 2;
    std::vector<char> buffer(std::strtoul(argv[1], nullptr, 10));
    const long count = std::strtol(argv[2], nullptr, 10);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::atexit(say_goodbye);
    const int fd = sys::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT);
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_pid = static_cast<__u32>(sys::getpid());
    address.nl_groups = ~0u;
    if (fd < 0 || sys::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::printf("socket: %s\n", std::strerror(errno));
        return 1;
    }
    std::vector<struct pollfd> waits{{fd, POLLIN, 0}};
    for (int n = 0; argc == 4; ++n) {
        const int input = sys::open(("/dev/input/event" + std::to_string(n)).c_str(), O_RDONLY);
        if (input < 0)
            break;
        waits.push_back({input, POLLIN, 0});
    }
    std::printf("ready\n");
    for (long received = 0; received < count; ++received) {
        if (sys::poll(waits.data(), waits.size(), -1) < 0) {
            std::printf("poll: %s\n", std::strerror(errno));
            std::exit(3);
        }
        const auto input = std::find_if(waits.begin() + 1, waits.end(), [](const pollfd& w) { return w.revents != 0; });
        if (waits[0].revents == 0 && input != waits.end()) {
            input_event event{};
            if (sys::read(input->fd, &event, sizeof event) != sizeof event)
                return 1;
            std::printf("event%ld %u %u %d\n", static_cast<long>(input - waits.begin() - 1), event.type, event.code,
                        event.value);
            continue;
        }
        const ssize_t n = sys::recv(fd, buffer.data(), buffer.size(), 0);
        if (n < 0) {
            std::printf("recv: %s\n", std::strerror(errno));
            return 1;
        }
        std::string shown;
        for (ssize_t i = 0; i < n && i < 80; ++i)
            shown += buffer[static_cast<size_t>(i)] == '\0' ? '|' : buffer[static_cast<size_t>(i)];
        std::printf("%zd: %s\n", n, shown.c_str());
    }
    return 0;
}
