// A small program built against the virtual reader for the launcher's tests:
// it reports what it finds through the platform layer and exits with the
// status named by its first argument.
#include "platform/sys.hpp"

#include <fcntl.h>
#include <linux/fb.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
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
    std::fprintf(stderr, "probe done\n");
    return argc > 1 ? std::atoi(argv[1]) : 0;
}
