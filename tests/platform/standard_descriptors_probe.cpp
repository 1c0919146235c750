// A program on the shipped binding that tells by its exit status which of
// the standard descriptors named by its argument (a bit mask: 1 input,
// 2 output, 4 error) it did not find open on /dev/null when main began,
// input for reading and the others for writing.
#include "platform/sys.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    struct ::stat null {};
    if (argc != 2 || sys::stat("/dev/null", &null) != 0)
        return 64;
    const int expected = std::atoi(argv[1]);
    int missing = 0;
    for (int fd = 0; fd <= 2; ++fd) {
        struct ::stat found {};
        if ((expected & (1 << fd)) != 0 &&
            (sys::fstat(fd, &found) != 0 || !S_ISCHR(found.st_mode) || found.st_rdev != null.st_rdev ||
             (::fcntl(fd, F_GETFL) & O_ACCMODE) != (fd == 0 ? O_RDONLY : O_WRONLY)))
            missing |= 1 << fd;
    }
    return missing;
}
