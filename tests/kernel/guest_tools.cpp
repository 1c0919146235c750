// kbench-tools: the small requests the kernel bench's guest script needs
// that a shell cannot make: BLKPG on the card, a uinput switch device, the
// panel's side of the stood-in UART, one exchange from the PC's end of a
// serial port, the modem-line requests, uevent listeners, two SCSI
// requests and a mapping past a block device's end. Run as "modprobe" it records its arguments and the descriptors
// it inherited instead. Test code for the armhf guest only; it never ships.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/blkpg.h>
#include <linux/input.h>
#include <linux/netlink.h>
#include <linux/uinput.h>
#include <poll.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* errno_name(int error)
{
    switch (error) {
    case 0: return "OK";
    case EBUSY: return "EBUSY";
    case ENOTTY: return "ENOTTY";
    case EINVAL: return "EINVAL";
    case ENXIO: return "ENXIO";
    case EIO: return "EIO";
    case ENOMEDIUM: return "ENOMEDIUM";
    case EACCES: return "EACCES";
    case EPERM: return "EPERM";
    case EROFS: return "EROFS";
    default: return "other";
    }
}

long long number(const char* text) { return std::strtoll(text, nullptr, 0); }

long long now_ms()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

std::string hex(const unsigned char* bytes, std::size_t count)
{
    std::string text;
    char pair[3];
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
        text += pair;
    }
    return text;
}

std::vector<unsigned char> unhex(const char* text)
{
    std::vector<unsigned char> bytes;
    for (std::size_t i = 0; text[i] != '\0' && text[i + 1] != '\0'; i += 2) {
        const char pair[3] = {text[i], text[i + 1], '\0'};
        bytes.push_back(static_cast<unsigned char>(std::strtoul(pair, nullptr, 16)));
    }
    return bytes;
}

bool write_all(int fd, const unsigned char* bytes, std::size_t count)
{
    while (count > 0) {
        const ssize_t n = write(fd, bytes, count);
        if (n <= 0)
            return false;
        bytes += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

// Opens a serial port and makes its line raw; -1, said on standard output,
// when it cannot be opened.
int open_raw_tty(const char* path)
{
    const int fd = open(path, O_RDWR | O_NOCTTY);
    if (fd < 0) {
        std::printf("open %s: %s\n", path, errno_name(errno));
        return -1;
    }
    termios t{};
    if (tcgetattr(fd, &t) == 0) {
        cfmakeraw(&t);
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
        tcsetattr(fd, TCSANOW, &t);
    }
    return fd;
}

// blkpg DEV add N START LENGTH | blkpg DEV del N   (bytes)
int blkpg(int argc, char** argv)
{
    if (argc < 4)
        return 2;
    const int fd = open(argv[1], O_RDONLY);
    if (fd < 0) {
        std::printf("open %s: %s\n", argv[1], errno_name(errno));
        return 1;
    }
    blkpg_partition part{};
    part.pno = static_cast<int>(number(argv[3]));
    blkpg_ioctl_arg arg{};
    arg.op = std::strcmp(argv[2], "add") == 0 ? BLKPG_ADD_PARTITION : BLKPG_DEL_PARTITION;
    if (arg.op == BLKPG_ADD_PARTITION) {
        if (argc < 6)
            return 2;
        part.start = number(argv[4]);
        part.length = number(argv[5]);
    }
    arg.datalen = sizeof part;
    arg.data = &part;
    const int result = ioctl(fd, BLKPG, &arg);
    const int error = result == 0 ? 0 : errno;
    close(fd);
    std::printf("%s\n", errno_name(error));
    return result == 0 ? 0 : 1;
}

// switch: a uinput device with the USB switch (EV_SW, code 12); each line of
// standard input is a value to report. "ready" once the device exists.
int switch_device(int, char**)
{
    const int fd = open("/dev/uinput", O_WRONLY);
    if (fd < 0) {
        std::printf("open /dev/uinput: %s\n", errno_name(errno));
        return 1;
    }
    ioctl(fd, UI_SET_EVBIT, EV_SW);
    ioctl(fd, UI_SET_SWBIT, 12);
    uinput_setup setup{};
    setup.id.bustype = BUS_VIRTUAL;
    std::snprintf(setup.name, sizeof setup.name, "kbench usb switch");
    if (ioctl(fd, UI_DEV_SETUP, &setup) != 0 || ioctl(fd, UI_DEV_CREATE) != 0) {
        std::printf("uinput: %s\n", errno_name(errno));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    char line[32];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        input_event events[2]{};
        events[0].type = EV_SW;
        events[0].code = 12;
        events[0].value = static_cast<int>(number(line));
        events[1].type = EV_SYN;
        events[1].code = SYN_REPORT;
        write_all(fd, reinterpret_cast<unsigned char*>(events), sizeof events);
    }
    ioctl(fd, UI_DEV_DESTROY);
    close(fd);
    return 0;
}

// The panel's answers as its reply frames: lead byte 0xEE, length, code, payload.
std::vector<unsigned char> panel_reply(unsigned char code, const unsigned char* parameters)
{
    switch (code) {
    case 0x00:
    case 0x01:
    case 0x03: return {0xEE, 0x02, code, 0x00};
    case 0x04: return {};
    case 0x0A: return {0xEE, 0x09, 0x0A, 0x10, 0x21, 0x32, 0x43, 0x54, 0x65, 0x76, 0x87};
    case 0x0E:
    case 0x1B: return {0xEE, 0x03, code, 0x00, 0x00};
    case 0x0F: return {0xEE, 0x05, 0x0F, parameters[0], 0x11, 0x22, 0x33};
    case 0x1E: return {0xEE, 0x0B, 0x1E, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0xEE};
    default: return {0xEE, 0x02, code, 0xFF};
    }
}

std::size_t parameter_count(unsigned char code) { return code == 0x03 ? 4 : code == 0x0F ? 1 : 0; }

// panel TTY LOG: answers each request on TTY; every chunk received goes to
// LOG as a line of hex.
int panel(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    const int fd = open_raw_tty(argv[1]);
    if (fd < 0)
        return 1;
    FILE* log = std::fopen(argv[2], "a");
    if (log == nullptr)
        return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    std::vector<unsigned char> pending;
    unsigned char buffer[256];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return 0;
        std::fprintf(log, "%s\n", hex(buffer, static_cast<std::size_t>(n)).c_str());
        std::fflush(log);
        pending.insert(pending.end(), buffer, buffer + n);
        std::size_t at = 0;
        while (at < pending.size() && pending.size() - at >= 1 + parameter_count(pending[at])) {
            const std::vector<unsigned char> reply = panel_reply(pending[at], &pending[at] + 1);
            write_all(fd, reply.data(), reply.size());
            at += 1 + parameter_count(pending[at]);
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<long>(at));
    }
}

// exchange TTY HEX WANT MS: writes the bytes, then prints in hex what comes
// back until WANT bytes or MS milliseconds; status 0 with WANT bytes.
int exchange(int argc, char** argv)
{
    if (argc < 5)
        return 2;
    const int fd = open_raw_tty(argv[1]);
    if (fd < 0)
        return 1;
    const std::vector<unsigned char> out = unhex(argv[2]);
    const auto want = static_cast<std::size_t>(number(argv[3]));
    const long long deadline = now_ms() + number(argv[4]);
    write_all(fd, out.data(), out.size());
    std::vector<unsigned char> got;
    while (got.size() < want) {
        const long long left = deadline - now_ms();
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0)
            break;
        unsigned char buffer[256];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        got.insert(got.end(), buffer, buffer + n);
    }
    std::printf("%s\n", hex(got.data(), got.size()).c_str());
    close(fd);
    return got.size() == want ? 0 : 1;
}

// modem-lines TTY: what TIOCMGET, TIOCMBIS and TIOCMBIC answer on the port.
int modem_lines(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    const int fd = open(argv[1], O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        std::printf("open %s: %s\n", argv[1], errno_name(errno));
        return 1;
    }
    int bits = 0;
    const int get = ioctl(fd, TIOCMGET, &bits) == 0 ? 0 : errno;
    int rts = TIOCM_RTS;
    const int set = ioctl(fd, TIOCMBIS, &rts) == 0 ? 0 : errno;
    const int clear = ioctl(fd, TIOCMBIC, &rts) == 0 ? 0 : errno;
    std::printf("TIOCMGET=%s TIOCMBIS=%s TIOCMBIC=%s\n", errno_name(get), errno_name(set), errno_name(clear));
    close(fd);
    return 0;
}

// uevents COUNT MS: COUNT listeners on the kernel's uevent socket; each
// message any of them receives within MS milliseconds is a line:
// "listener N: FIELD|FIELD|...".
int uevents(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    const int count = static_cast<int>(number(argv[1]));
    std::vector<pollfd> sockets;
    for (int i = 0; i < count; ++i) {
        const int fd = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT);
        sockaddr_nl address{};
        address.nl_family = AF_NETLINK;
        address.nl_groups = 1;
        if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            std::printf("socket: %s\n", errno_name(errno));
            return 1;
        }
        sockets.push_back({fd, POLLIN, 0});
    }
    std::printf("ready\n");
    std::fflush(stdout);
    const long long deadline = now_ms() + number(argv[2]);
    for (long long left; (left = deadline - now_ms()) > 0;) {
        if (poll(sockets.data(), sockets.size(), static_cast<int>(left)) <= 0)
            continue;
        for (std::size_t i = 0; i < sockets.size(); ++i) {
            if (!(sockets[i].revents & POLLIN))
                continue;
            static char message[8192];
            const ssize_t n = read(sockets[i].fd, message, sizeof message - 1);
            if (n <= 0)
                continue;
            std::string line;
            for (ssize_t at = 0; at < n; at += static_cast<ssize_t>(std::strlen(message + at)) + 1)
                line += (line.empty() ? "" : "|") + std::string(message + at);
            std::printf("listener %zu: %s\n", i, line.c_str());
            std::fflush(stdout);
        }
    }
    return 0;
}

// scsi DEV vendor|eject: the SCSI status and sense of one request: a
// 10-byte vendor command reading 4 bytes, or START STOP UNIT with the eject
// bit, through SG_IO on DEV.
int scsi(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    const int fd = open(argv[1], O_RDWR | O_NONBLOCK);
    if (fd < 0) {
        std::printf("open %s: %s\n", argv[1], errno_name(errno));
        return 1;
    }
    unsigned char vendor[10] = {0x20, 0, 0x01, 0, 0x01, 0x01, 0, 0, 0, 0};
    unsigned char eject[6] = {0x1B, 0, 0, 0, 0x02, 0};
    const bool is_vendor = std::strcmp(argv[2], "vendor") == 0;
    unsigned char data[8] = {};
    unsigned char sense[32] = {};
    sg_io_hdr_t request{};
    request.interface_id = 'S';
    request.dxfer_direction = is_vendor ? SG_DXFER_FROM_DEV : SG_DXFER_NONE;
    request.dxfer_len = is_vendor ? sizeof data : 0;
    request.dxferp = is_vendor ? data : nullptr;
    request.cmdp = is_vendor ? vendor : eject;
    request.cmd_len = is_vendor ? sizeof vendor : sizeof eject;
    request.mx_sb_len = sizeof sense;
    request.sbp = sense;
    request.timeout = 10000;
    if (ioctl(fd, SG_IO, &request) != 0) {
        std::printf("SG_IO: %s\n", errno_name(errno));
        return 1;
    }
    std::printf("status=%u sense=%x/%02x/%02x resid=%d\n", request.status, sense[2] & 0x0F, sense[12], sense[13],
                request.resid);
    close(fd);
    return 0;
}

// map-past-end DEVICE: maps the block device's last page and the page after
// its end, then touches the first page and the second. Prints "mapped",
// then dies of SIGBUS at the second touch, as a block device faults beyond
// its end; "not mapped: ERRNO" when the mapping is refused.
int map_past_end(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    const int fd = open(argv[1], O_RDONLY);
    const off_t size = fd >= 0 ? lseek(fd, 0, SEEK_END) : -1;
    if (size < 4096)
        return 1;
    auto* map = static_cast<volatile char*>(mmap(nullptr, 8192, PROT_READ, MAP_SHARED, fd, size - 4096));
    if (map == MAP_FAILED) {
        std::printf("not mapped: %s\n", errno_name(errno));
        return 1;
    }
    std::printf("mapped\n");
    std::fflush(stdout);
    return map[0] + map[4096];
}

// modprobe ARGS...: a line with the arguments in /tmp/modprobe.log, then
// "fd N TARGET" for each descriptor beyond 0-2 that came with the process.
int record_modprobe(int argc, char** argv)
{
    FILE* log = std::fopen("/tmp/modprobe.log", "a");
    if (log == nullptr)
        return 1;
    for (int i = 1; i < argc; ++i)
        std::fprintf(log, "%s%s", i > 1 ? " " : "", argv[i]);
    std::fprintf(log, "\n");
    DIR* fds = opendir("/proc/self/fd");
    while (const dirent* entry = fds != nullptr ? readdir(fds) : nullptr) {
        const int fd = std::atoi(entry->d_name);
        if (fd <= 2 || fd == dirfd(fds) || fd == fileno(log))
            continue;
        char target[256] = {};
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        if (readlink(link.c_str(), target, sizeof target - 1) < 0)
            continue;
        std::fprintf(log, "fd %d %s\n", fd, target);
    }
    if (fds != nullptr)
        closedir(fds);
    std::fclose(log);
    return 0;
}

}  // namespace

// as-user UID COMMAND...: COMMAND as an ordinary user (group UID too, no
// supplementary groups, no capabilities left).
static int as_user(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    const auto id = static_cast<uid_t>(number(argv[1]));
    if (setgroups(0, nullptr) != 0 || setgid(id) != 0 || setuid(id) != 0) {
        std::printf("as-user %u: %s\n", static_cast<unsigned>(id), errno_name(errno));
        return 126;
    }
    execv(argv[2], argv + 2);
    std::printf("exec %s: %s\n", argv[2], errno_name(errno));
    return 127;
}

int main(int argc, char** argv)
{
    const char* name = std::strrchr(argv[0], '/');
    if (std::strcmp(name != nullptr ? name + 1 : argv[0], "modprobe") == 0)
        return record_modprobe(argc, argv);
    struct Tool {
        const char* name;
        int (*run)(int, char**);
    };
    static const Tool tools[] = {{"blkpg", blkpg},     {"switch", switch_device},    {"panel", panel},
                                 {"exchange", exchange}, {"modem-lines", modem_lines}, {"uevents", uevents},
                                 {"scsi", scsi},       {"map-past-end", map_past_end}, {"as-user", as_user}};
    if (argc >= 2)
        for (const Tool& tool : tools)
            if (std::strcmp(argv[1], tool.name) == 0)
                return tool.run(argc - 1, argv + 1);
    std::fprintf(stderr, "usage: kbench-tools blkpg|switch|panel|exchange|modem-lines|uevents|scsi|map-past-end|as-user ...\n");
    return 2;
}
