#include "vreader/model/state/reader_lock.hpp"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include <cerrno>

namespace vreader {

#if defined(_WIN32)
// The PC library's Windows build under Wine: a byte-range lock on the same
// file, which Wine keeps for every Windows process of the machine.
ReaderLock::ReaderLock(const std::string& lock_path)
{
    const HANDLE file = CreateFileA(lock_path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error_ = EACCES;
        return;
    }
    OVERLAPPED whole{};
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &whole)) {
        CloseHandle(file);
        error_ = EIO;
        return;
    }
    handle_ = file;
}

ReaderLock::~ReaderLock()
{
    if (handle_ == nullptr)
        return;
    OVERLAPPED whole{};
    UnlockFileEx(handle_, 0, 1, 0, &whole);
    CloseHandle(handle_);
}
#else
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
#endif

}  // namespace vreader
