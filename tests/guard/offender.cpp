// Planted direct calls: the seam guard must report every one of them.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

int seam_guard_offender(const char* path, unsigned count)
{
    char buffer[64];
    const int fd = open(path, O_RDONLY);
    ssize_t n = read(fd, buffer, count);
    n += ioctl(fd, 0x4600, buffer);
    n += std::atoi(path);  // strtol once inlined
    std::ifstream stream(path);
    return static_cast<int>(n) + stream.good();
}
