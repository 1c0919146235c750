// PC files and standard input and output as the transfers use them.
#if defined(_WIN32)
#define _CRT_RAND_S  // rand_s: the C runtime's own random source
#endif
#include "hosttool/local_files.hpp"

#include "hosttool/pc_io.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#if defined(_WIN32)
#include <io.h>
#include <stdlib.h>
#include <windows.h>
#else
#include <sys/random.h>
#include <time.h>
#include <unistd.h>
#endif

namespace tool {
namespace {

#if defined(_WIN32)
constexpr int kReadFlags = _O_RDONLY | _O_BINARY | _O_NOINHERIT;
constexpr int kWriteFlags = _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT;
constexpr int kNewFlags = _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT;
constexpr int kNewMode = _S_IREAD | _S_IWRITE;
int open_file(const char* path, int flags, int mode = 0) { return _open(path, flags, mode); }
int close_file(int descriptor) { return _close(descriptor); }
#else
constexpr int kReadFlags = O_RDONLY | O_CLOEXEC;
// In place, only what exists: a name gone since it was looked at, or a
// link to nothing, is not made into a file here.
constexpr int kWriteFlags = O_WRONLY | O_TRUNC | O_CLOEXEC;
// O_EXCL: the call fails for any name that exists, a link included.
constexpr int kNewFlags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
constexpr int kNewMode = 0666;  // less the umask, as for any new file
int open_file(const char* path, int flags, int mode = 0) { return ::open(path, flags, mode); }
int close_file(int descriptor) { return ::close(descriptor); }
#endif

// The bytes from the descriptor's position to the end of its file, when it
// is a plain file.
std::optional<long long> bytes_to_come(int descriptor)
{
#if defined(_WIN32)
    struct _stati64 status;
    if (_fstati64(descriptor, &status) != 0 || (status.st_mode & _S_IFMT) != _S_IFREG)
        return std::nullopt;
    const long long at = _lseeki64(descriptor, 0, SEEK_CUR);
#else
    struct stat status;
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    const long long at = lseek(descriptor, 0, SEEK_CUR);
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

// Twelve hexadecimal digits from the system's random source, so that the
// partial file's name cannot be known before it exists.
std::string random_digits()
{
    unsigned char bytes[6] = {};
#if defined(_WIN32)
    for (std::size_t i = 0; i < sizeof bytes; i += 2) {
        unsigned int value = 0;
        rand_s(&value);
        bytes[i] = static_cast<unsigned char>(value);
        bytes[i + 1] = static_cast<unsigned char>(value >> 8);
    }
#else
    if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        // Without the random source the name is merely unlikely; the
        // exclusive creation still refuses any name that exists.
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        const unsigned long long mixed = static_cast<unsigned long long>(now.tv_nsec) ^
                                         (static_cast<unsigned long long>(getpid()) << 30) ^
                                         static_cast<unsigned long long>(now.tv_sec);
        for (std::size_t i = 0; i < sizeof bytes; ++i)
            bytes[i] = static_cast<unsigned char>(mixed >> (8 * i));
    }
#endif
    static const char kDigits[] = "0123456789abcdef";
    std::string digits;
    for (const unsigned char byte : bytes) {
        digits += kDigits[byte >> 4];
        digits += kDigits[byte & 15];
    }
    return digits;
}

// Creates the partial file beside `path`: its descriptor, or -1 with
// `error` set.
int create_partial(const std::string& path, std::string& partial, std::string& error)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        partial = path + ".fendrac-" + random_digits();
        const int descriptor = open_file(partial.c_str(), kNewFlags, kNewMode);
        if (descriptor >= 0)
            return descriptor;
        if (errno != EEXIST)
            break;
    }
    error = errno_text(errno);
    partial.clear();
    return -1;
}

// Puts the finished file in its place, over the old one.
bool replace(const std::string& from, const std::string& to, std::string& error)
{
#if defined(_WIN32)
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    error = windows_text(GetLastError());
    return false;
#else
    if (std::rename(from.c_str(), to.c_str()) == 0)
        return true;
    error = errno_text(errno);
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
    if (owned_)
        close_file(descriptor_);
}

bool LocalSource::open(const std::string& path, std::string& error)
{
    if (is_standard_stream(path)) {
        descriptor_ = 0;
    } else if ((descriptor_ = open_file(path.c_str(), kReadFlags)) < 0) {
        error = errno_text(errno);
        return false;
    } else {
        owned_ = true;
    }
    size_ = bytes_to_come(descriptor_);
    return true;
}

long long LocalSource::read(std::span<unsigned char> buffer, std::string& error)
{
    std::size_t filled = 0;
    while (filled < buffer.size()) {
        const long long got = read_some(descriptor_, buffer.subspan(filled), error);
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        filled += static_cast<std::size_t>(got);
    }
    return static_cast<long long>(filled);
}

std::string size_refusal(const std::string& name, long long size, const SizeLimit& limit)
{
    const std::string bytes = std::to_string(limit.bytes);
    return name + " has " + (size < 0 ? "more than " + bytes : std::to_string(size)) + " bytes; " + limit.what +
           " has " + (limit.exact ? "exactly " : "at most ") + bytes;
}

bool read_whole(const std::string& path, const SizeLimit& limit, std::vector<unsigned char>& bytes,
                std::string& message)
{
    const std::string name = local_name(path, true);
    LocalSource source;
    std::string error;
    if (!source.open(path, error)) {
        message = "cannot read " + name + ": " + error;
        return false;
    }
    const auto fits = [&](long long size) { return limit.exact ? size == limit.bytes : size <= limit.bytes; };
    if (source.size() && !fits(*source.size())) {
        message = size_refusal(name, *source.size(), limit);
        return false;
    }
    bytes.clear();
    unsigned char piece[65536];
    for (;;) {
        const long long got = source.read(piece, error);
        if (got < 0) {
            message = "cannot read " + name + ": " + error;
            return false;
        }
        if (static_cast<long long>(bytes.size()) + got > limit.bytes) {
            message = size_refusal(name, -1, limit);
            return false;
        }
        bytes.insert(bytes.end(), piece, piece + got);
        if (got < static_cast<long long>(sizeof piece))
            break;
    }
    if (!fits(static_cast<long long>(bytes.size()))) {
        message = size_refusal(name, static_cast<long long>(bytes.size()), limit);
        return false;
    }
    return true;
}

LocalSink::~LocalSink()
{
    if (owned_)
        close_file(descriptor_);
    if (!partial_.empty())
        std::remove(partial_.c_str());
}

bool LocalSink::open(const std::string& path, std::string& error)
{
    path_ = path;
    if (is_standard_stream(path)) {
        descriptor_ = 1;
        return true;
    }
    unsigned mode = 0;
    const Target target = target_kind(path, mode);
    descriptor_ = target == Target::other ? open_file(path.c_str(), kWriteFlags, kNewMode)
                                          : create_partial(path, partial_, error);
    if (descriptor_ < 0) {
        if (error.empty())
            error = errno_text(errno);
        return false;
    }
    owned_ = true;
#if !defined(_WIN32)
    // The new copy keeps the old one's permissions.
    if (target == Target::plain)
        (void)fchmod(descriptor_, static_cast<mode_t>(mode));
#else
    (void)mode;
#endif
    return true;
}

bool LocalSink::write(std::span<const unsigned char> bytes, std::string& error)
{
    return write_all(descriptor_, bytes, error);
}

bool LocalSink::commit(std::string& error)
{
    if (owned_) {
        owned_ = false;
        if (close_file(descriptor_) != 0) {
            error = errno_text(errno);
            return false;
        }
    }
    if (partial_.empty())
        return true;
    if (!replace(partial_, path_, error))
        return false;
    partial_.clear();
    return true;
}

}  // namespace tool
