#include "vreader/model/reader_lock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace vreader {

ReaderLock::ReaderLock(const std::string& lock_path)
{
    fd_ = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        error_ = errno;
        return;
    }
    while (::flock(fd_, LOCK_EX) != 0) {
        if (errno != EINTR) {
            error_ = errno;
            break;
        }
    }
}

ReaderLock::~ReaderLock()
{
    if (fd_ >= 0)
        ::close(fd_);
}

}  // namespace vreader
