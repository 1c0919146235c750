// Planted direct calls: the seam guard must report every one of them.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

// What glibc calls ioctl and stat when time_t is 64 bits on a 32-bit
// machine; declared here so that every build plants them.
extern "C" int __ioctl_time64(int fd, unsigned long request, ...);
extern "C" int __stat64_time64(const char* path, void* status);

int seam_guard_offender(const char* path, unsigned count)
{
    char buffer[64];
    const int fd = open(path, O_RDONLY);
    ssize_t n = read(fd, buffer, count);
    n += ioctl(fd, 0x4600, buffer);
    n += __ioctl_time64(fd, 0x4600, buffer);
    n += __stat64_time64(path, buffer);
    n += std::atoi(path);  // strtol once inlined
    std::ifstream stream(path);
    return static_cast<int>(n) + stream.good();
}
