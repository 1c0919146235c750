#include "hosttool/local_files.hpp"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/types.h>
#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace tool {
namespace {

void binary_mode(std::FILE* stream)
{
#if defined(_WIN32)
    _setmode(_fileno(stream), _O_BINARY);
#else
    (void)stream;
#endif
}

std::string system_text(int error) { return std::strerror(error); }

// The bytes from the stream's position to the end of its file, when it is
// a plain file.
std::optional<long long> bytes_to_come(std::FILE* file)
{
#if defined(_WIN32)
    struct _stati64 status;
    if (_fstati64(_fileno(file), &status) != 0 || (status.st_mode & _S_IFMT) != _S_IFREG)
        return std::nullopt;
    const long long at = _ftelli64(file);
#else
    struct stat status;
    if (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    const long long at = ftello(file);
#endif
    if (at < 0 || at > status.st_size)
        return std::nullopt;
    return static_cast<long long>(status.st_size) - at;
}

enum class Target { absent, plain, other };

Target target_kind(const std::string& path, unsigned& mode)
{
#if defined(_WIN32)
    struct _stati64 status;
    if (_stati64(path.c_str(), &status) != 0)
        return errno == ENOENT ? Target::absent : Target::other;
    mode = status.st_mode;
    return (status.st_mode & _S_IFMT) == _S_IFREG ? Target::plain : Target::other;
#else
    struct stat status;
    if (lstat(path.c_str(), &status) != 0)
        return errno == ENOENT ? Target::absent : Target::other;
    mode = status.st_mode & 07777;
    return S_ISREG(status.st_mode) ? Target::plain : Target::other;
#endif
}

// Puts the finished file in its place, over the old one.
bool replace(const std::string& from, const std::string& to, std::string& error)
{
#if defined(_WIN32)
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    char text[256] = {};
    const DWORD code = GetLastError();
    if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                       sizeof text, nullptr) == 0)
        std::snprintf(text, sizeof text, "system error %lu", static_cast<unsigned long>(code));
    error = text;
    while (!error.empty() && (error.back() == '\n' || error.back() == '\r' || error.back() == '.'))
        error.pop_back();
    return false;
#else
    if (std::rename(from.c_str(), to.c_str()) == 0)
        return true;
    error = system_text(errno);
    return false;
#endif
}

}  // namespace

bool is_standard_stream(const std::string& path) { return path.empty() || path == "-"; }

std::string local_name(const std::string& path, bool input)
{
    if (!is_standard_stream(path))
        return path;
    return input ? "standard input" : "standard output";
}

LocalSource::~LocalSource()
{
    if (file_ != nullptr && file_ != stdin)
        std::fclose(file_);
}

bool LocalSource::open(const std::string& path, std::string& error)
{
    if (is_standard_stream(path)) {
        binary_mode(stdin);
        file_ = stdin;
    } else if ((file_ = std::fopen(path.c_str(), "rb")) == nullptr) {
        error = system_text(errno);
        return false;
    }
    size_ = bytes_to_come(file_);
    return true;
}

long long LocalSource::read(std::span<unsigned char> buffer, std::string& error)
{
    errno = 0;
    const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file_);
    if (got < buffer.size() && std::ferror(file_)) {
        error = errno != 0 ? system_text(errno) : "read error";
        return -1;
    }
    return static_cast<long long>(got);
}

bool read_whole(const std::string& path, long long largest, std::vector<unsigned char>& bytes, std::string& message)
{
    const std::string name = local_name(path, true);
    LocalSource source;
    std::string error;
    if (!source.open(path, error)) {
        message = "cannot read " + name + ": " + error;
        return false;
    }
    const auto too_large = [&](const std::string& size) {
        message = name + " has " + size + " bytes, more than the " + std::to_string(largest) + " it may have";
        return false;
    };
    if (source.size() && *source.size() > largest)
        return too_large(std::to_string(*source.size()));
    bytes.clear();
    unsigned char piece[65536];
    for (;;) {
        const long long got = source.read(piece, error);
        if (got < 0) {
            message = "cannot read " + name + ": " + error;
            return false;
        }
        if (static_cast<long long>(bytes.size()) + got > largest)
            return too_large("more than " + std::to_string(largest));
        bytes.insert(bytes.end(), piece, piece + got);
        if (got < static_cast<long long>(sizeof piece))
            return true;
    }
}

LocalSink::~LocalSink()
{
    if (file_ != nullptr && file_ != stdout)
        std::fclose(file_);
    if (!partial_.empty())
        std::remove(partial_.c_str());
}

bool LocalSink::open(const std::string& path, std::string& error)
{
    path_ = path;
    if (is_standard_stream(path)) {
        binary_mode(stdout);
        file_ = stdout;
        return true;
    }
    unsigned mode = 0;
    const Target target = target_kind(path, mode);
    const std::string& opened = target == Target::other ? path : (partial_ = path + ".fendrac-part");
    if ((file_ = std::fopen(opened.c_str(), "wb")) == nullptr) {
        error = system_text(errno);
        partial_.clear();
        return false;
    }
#if !defined(_WIN32)
    // The new copy keeps the old one's permissions.
    if (target == Target::plain)
        (void)fchmod(fileno(file_), static_cast<mode_t>(mode));
#else
    (void)mode;
#endif
    return true;
}

bool LocalSink::write(std::span<const unsigned char> bytes, std::string& error)
{
    errno = 0;
    if (bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size())
        return true;
    error = errno != 0 ? system_text(errno) : "write error";
    return false;
}

bool LocalSink::commit(std::string& error)
{
    errno = 0;
    std::FILE* const file = file_;
    file_ = nullptr;
    const bool written = file == stdout ? std::fflush(stdout) == 0 : std::fclose(file) == 0;
    if (!written) {
        error = errno != 0 ? system_text(errno) : "write error";
        return false;
    }
    if (partial_.empty())
        return true;
    if (!replace(partial_, path_, error))
        return false;
    partial_.clear();
    return true;
}

}  // namespace tool
