#include "vreader/model/core/sparse_file.hpp"

#include "vreader/model/core/host_fd.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace vreader {

int create_zero_file(const std::string& path, std::uint64_t size)
{
    HostFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd.valid())
        return errno;
    const int error = ::ftruncate(fd.get(), static_cast<off_t>(size)) != 0 ? errno : 0;
    const int closed = fd.close();
    return error != 0 ? error : closed;
}

}  // namespace vreader
