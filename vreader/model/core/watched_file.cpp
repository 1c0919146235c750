#include "vreader/model/core/watched_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace vreader {
namespace {

WatchedFile::Stamp stamp_of(const struct stat& st)
{
    return {st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec, st.st_ctim.tv_sec, st.st_ctim.tv_nsec};
}

}  // namespace

bool WatchedFile::refresh()
{
    struct stat st {};
    if (fd_.valid() && (::fstat(fd_.get(), &st) != 0 || st.st_nlink == 0))
        fd_.reset();
    if (!fd_.valid()) {
        fd_.reset(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
        if (fd_.valid() && ::fstat(fd_.get(), &st) != 0)
            fd_.reset();
    }
    const Stamp stamp = fd_.valid() ? stamp_of(st) : Stamp{};
    if (known_ && stamp == stamp_)
        return false;
    std::string now;
    if (fd_.valid() && st.st_size > 0) {
        now.resize(static_cast<std::size_t>(st.st_size));
        std::size_t done = 0;
        while (done < now.size()) {
            const ssize_t n = ::pread(fd_.get(), now.data() + done, now.size() - done, static_cast<off_t>(done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        now.resize(done);
    }
    const bool changed = !known_ || now != text_;
    text_ = std::move(now);
    stamp_ = stamp;
    known_ = true;
    return changed;
}

}  // namespace vreader
