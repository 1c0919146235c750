#include "vreader/model/state/journal.hpp"

#include <cerrno>
#include <cstdio>
#include <filesystem>

namespace vreader {
namespace {

// Number of lines in the file, a last line without a line end included, and
// whether the file ends with a line end (an empty one counts as ending so).
int count_lines(std::FILE* file, std::uint64_t& lines, bool& ends_with_line_end)
{
    lines = 0;
    char buffer[65536];
    char last = '\n';
    if (std::fseek(file, 0, SEEK_SET) != 0)
        return errno;
    for (;;) {
        const std::size_t n = std::fread(buffer, 1, sizeof buffer, file);
        for (std::size_t i = 0; i < n; ++i)
            if (buffer[i] == '\n')
                ++lines;
        if (n > 0)
            last = buffer[n - 1];
        if (n < sizeof buffer)
            break;
    }
    if (std::ferror(file))
        return errno != 0 ? errno : EIO;
    ends_with_line_end = last == '\n';
    if (!ends_with_line_end)
        ++lines;
    return 0;
}

// Appends all of `text`; 0 or an errno value.
int append_text(std::FILE* file, const std::string& text)
{
    // A stream opened for update must be positioned between a read and a
    // write; in append mode every write goes to the end anyway.
    if (std::fseek(file, 0, SEEK_END) != 0)
        return errno;
    if (std::fwrite(text.data(), 1, text.size(), file) != text.size() || std::fflush(file) != 0)
        return errno != 0 ? errno : EIO;
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
    errno = 0;
    std::FILE* file = std::fopen(path_.c_str(), "ab+");
    if (file == nullptr)
        return errno != 0 ? errno : EIO;
    std::error_code ec;
    auto size = static_cast<long long>(std::filesystem::file_size(path_, ec));
    int error = ec ? (ec.value() != 0 ? ec.value() : EIO) : 0;
    if (error == 0 && size != known_size_) {
        // Another process wrote or cleared the journal since our last line.
        std::uint64_t lines = 0;
        bool ends_with_line_end = true;
        error = count_lines(file, lines, ends_with_line_end);
        if (error == 0 && !ends_with_line_end && append_text(file, "\n") == 0)
            ++size;
        next_seq_ = lines + 1;
    }
    if (error == 0) {
        const std::string text = line.text(next_seq_) + "\n";
        error = append_text(file, text);
        if (error == 0) {
            ++next_seq_;
            known_size_ = size + static_cast<long long>(text.size());
        }
    }
    if (std::fclose(file) != 0 && error == 0)
        error = errno != 0 ? errno : EIO;
    return error;
}

int Journal::clear()
{
    errno = 0;
    std::FILE* file = std::fopen(path_.c_str(), "wb");
    if (file == nullptr)
        return errno != 0 ? errno : EIO;
    std::fclose(file);
    next_seq_ = 1;
    known_size_ = 0;
    last_.reset();
    repeats_ = 0;
    return 0;
}

}  // namespace vreader
