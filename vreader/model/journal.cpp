#include "vreader/model/journal.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace vreader {
namespace {

// Number of lines in the file, a last line without a line end included.
int count_lines(int fd, std::uint64_t& lines)
{
    lines = 0;
    char buffer[65536];
    char last = '\n';
    off_t offset = 0;
    for (;;) {
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            break;
        for (ssize_t i = 0; i < n; ++i)
            if (buffer[i] == '\n')
                ++lines;
        last = buffer[n - 1];
        offset += n;
    }
    if (last != '\n')
        ++lines;
    return 0;
}

}  // namespace

bool Journal::fold(const JsonLine& line)
{
    if (!line.is_foldable() || !last_ || !(line == *last_) || repeats_ >= kFoldLimit)
        return false;
    ++repeats_;
    return true;
}

int Journal::flush()
{
    if (repeats_ == 0 || !last_)
        return 0;
    JsonLine summary = *last_;
    summary.add("repeated", repeats_);
    repeats_ = 0;
    return write_line(summary);
}

int Journal::append(const JsonLine& line)
{
    if (const int e = flush())
        return e;
    const int e = write_line(line);
    if (line.is_foldable())
        last_ = line;
    else
        last_.reset();
    return e;
}

int Journal::write_line(const JsonLine& line)
{
    const int fd = ::open(path_.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return errno;
    int error = 0;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = errno;
    } else if (st.st_size != known_size_) {
        // Another process wrote or cleared the journal since our last line.
        std::uint64_t lines = 0;
        error = count_lines(fd, lines);
        if (st.st_size > 0 && error == 0) {
            char last = '\n';
            if (::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n' && ::write(fd, "\n", 1) == 1)
                ++st.st_size;
        }
        next_seq_ = lines + 1;
    }
    if (error == 0) {
        const std::string text = line.text(next_seq_) + "\n";
        size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                error = errno;
                break;
            }
            done += static_cast<size_t>(n);
        }
        if (error == 0) {
            ++next_seq_;
            known_size_ = static_cast<long long>(st.st_size) + static_cast<long long>(text.size());
        }
    }
    ::close(fd);
    return error;
}

int Journal::clear()
{
    const int fd = ::open(path_.c_str(), O_WRONLY | O_TRUNC | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return errno;
    ::close(fd);
    next_seq_ = 1;
    known_size_ = 0;
    last_.reset();
    repeats_ = 0;
    return 0;
}

}  // namespace vreader
