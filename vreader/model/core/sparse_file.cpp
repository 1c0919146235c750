#include "vreader/model/core/sparse_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace vreader {

int create_zero_file(const std::string& path, std::uint64_t size)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return errno;
    int error = 0;
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    return error;
}

}  // namespace vreader
