// A small program built against the virtual reader for the launcher's tests:
// it reports what it finds through the platform layer and exits with the
// status named by its first argument. With the argument "stdin" it also
// copies its standard input, as a factory tool reads a key from it; with
// "tty" it also reads and sets the panel UART's line settings and sends the
// panel one request; with "hold" it holds the gadget serial port until it
// is killed, its process id printed first; with "none" it ends at once,
// asking the reader nothing.
#include "platform/sys.hpp"

#include <fcntl.h>
#include <linux/fb.h>
#include <termios.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "none") == 0)
        return 0;
    const int fd = sys::open("/dev/fb0", O_RDWR);
    fb_var_screeninfo v{};
    if (fd < 0 || sys::ioctl(fd, 0x4600, &v) != 0) {
        std::printf("no framebuffer\n");
        return 99;
    }
    sys::close(fd);
    const char* dir = std::getenv("VREADER_DIR");
    std::printf("xres=%u dir=%s args=", v.xres, dir != nullptr ? dir : "");
    for (int i = 1; i < argc; ++i)
        std::printf("%s%s", i > 1 ? "," : "", argv[i]);
    std::printf("\n");
    if (argc > 1 && std::strcmp(argv[1], "stdin") == 0) {
        std::string input;
        char buf[256];
        for (ssize_t n; (n = sys::read(0, buf, sizeof buf)) > 0;)
            input.append(buf, static_cast<size_t>(n));
        std::printf("stdin=%s", input.c_str());
    }
    if (argc > 1 && std::strcmp(argv[1], "tty") == 0) {
        const int tty = sys::open("/dev/ttymxc1", O_RDWR);
        struct termios settings {};
        const bool got = sys::tcgetattr(tty, &settings) == 0;
        const bool set = sys::tcsetattr(tty, TCSANOW, &settings) == 0;
        const bool sent = sys::write(tty, "\x0A", 1) == 1;  // the version request
        sys::close(tty);
        std::printf("tty=%s%s%s\n", got ? "got" : "-", set ? ",set" : ",-", sent ? ",sent" : ",-");
    }
    if (argc > 1 && std::strcmp(argv[1], "hold") == 0) {
        const int gadget = sys::open("/dev/ttyGS0", O_RDWR);
        std::printf("pid=%d\n", static_cast<int>(sys::getpid()));
        std::fflush(stdout);
        char byte;
        while (gadget >= 0 && sys::read(gadget, &byte, 1) >= 0)
            continue;
        return 1;
    }
    std::fprintf(stderr, "probe done\n");
    return argc > 1 ? std::atoi(argv[1]) : 0;
}
