// Standard input, output and error made sure of before a program's main, for
// both bindings of the platform layer.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace sys {

// A program started with descriptor 0, 1 or 2 closed would be handed that
// number by its first open: a device opened then would be read as the
// program's input, or receive what it prints and what perror and getopt
// report. So each closed one is opened on /dev/null, 0 for reading, 1 and 2
// for writing. Without /dev/null (a bare root file system) the root
// directory stands in: reads and writes on it fail, and it is no device.
// The descriptors are inherited by the program's children, as standard
// descriptors are.
inline void open_standard_descriptors() noexcept
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened < 0)
            opened = ::open("/", O_RDONLY | O_DIRECTORY);
        // The lower ones are open by now, so the open took this very number;
        // should it not have, the descriptor is moved there.
        if (opened >= 0 && opened != fd) {
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
}

}  // namespace sys
