#include "hosttool/local_files.hpp"

#include <climits>
#include <cstdio>
#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
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

constexpr long long kLargest = INT_MAX;  // the library's lengths are ints

}  // namespace

bool is_standard_stream(const std::string& path) { return path.empty() || path == "-"; }

std::optional<std::vector<unsigned char>> read_local(const std::string& path)
{
    std::FILE* file = stdin;
    if (is_standard_stream(path))
        binary_mode(stdin);
    else if ((file = std::fopen(path.c_str(), "rb")) == nullptr)
        return std::nullopt;
    std::vector<unsigned char> bytes;
    unsigned char piece[65536];
    bool ok = true;
    for (std::size_t got; (got = std::fread(piece, 1, sizeof piece, file)) > 0;) {
        if (static_cast<long long>(bytes.size() + got) > kLargest) {
            ok = false;
            break;
        }
        bytes.insert(bytes.end(), piece, piece + got);
    }
    if (std::ferror(file))
        ok = false;
    if (file != stdin)
        std::fclose(file);
    if (!ok)
        return std::nullopt;
    return bytes;
}

bool write_local(const std::string& path, std::span<const unsigned char> bytes)
{
    std::FILE* file = stdout;
    if (is_standard_stream(path))
        binary_mode(stdout);
    else if ((file = std::fopen(path.c_str(), "wb")) == nullptr)
        return false;
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (file == stdout)
        ok = std::fflush(stdout) == 0 && ok;
    else
        ok = std::fclose(file) == 0 && ok;
    return ok;
}

std::optional<long long> local_size(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return std::nullopt;
    long long size = -1;
    if (std::fseek(file, 0, SEEK_END) == 0)
        size = std::ftell(file);
    std::fclose(file);
    if (size < 0 || size > kLargest)
        return std::nullopt;
    return size;
}

}  // namespace tool
