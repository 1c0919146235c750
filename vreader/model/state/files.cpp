#include "vreader/model/state/files.hpp"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>

namespace vreader {
namespace {

int errno_or_eio() { return errno != 0 ? errno : EIO; }

// A temporary name beside `path` that no other process or thread picks: a
// token drawn once per process, and a count within it.
std::string temporary_beside(const std::string& path)
{
    static const unsigned long long token = [] {
        std::random_device random;
        const auto now = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
        return (static_cast<unsigned long long>(random()) << 32 ^ random()) ^ now;
    }();
    static std::atomic<unsigned> count{0};
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".tmp%llx.%u", token, count++);
    return path + suffix;
}

}  // namespace

int read_file(const std::string& path, std::string& out)
{
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return errno_or_eio();
    out.clear();
    char buffer[8192];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        out.append(buffer, n);
    const int error = std::ferror(file) ? errno_or_eio() : 0;
    std::fclose(file);
    return error;
}

int replace_file(const std::string& path, std::string_view data)
{
    const std::string temporary = temporary_beside(path);
    errno = 0;
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr)
        return errno_or_eio();
    int error = 0;
    if (std::fwrite(data.data(), 1, data.size(), file) != data.size())
        error = errno_or_eio();
    if (std::fclose(file) != 0 && error == 0)
        error = errno_or_eio();
    std::error_code ec;
    if (error == 0) {
        // Replaces an existing file, on Windows too.
        std::filesystem::rename(temporary, path, ec);
        if (ec)
            error = ec.value() != 0 ? ec.value() : EIO;
    }
    if (error != 0)
        std::filesystem::remove(temporary, ec);
    return error;
}

bool file_exists(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

}  // namespace vreader
