#include "vreader/model/uevent_queue.hpp"

#include "vreader/model/files.hpp"
#include "vreader/model/wake_pipe.hpp"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>

namespace vreader {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kSuffix = ".msg";
constexpr std::size_t kDigits = 20;  // zero-padded, so names sort as numbers

std::string spool(const std::string& reader_path) { return reader_path + "/" + std::string(kUeventDir); }

bool is_message(const std::string& name)
{
    return name.size() == kDigits + kSuffix.size() && name.ends_with(kSuffix) &&
           name.find_first_not_of("0123456789") == kDigits;
}

// The first and last message names, in number order.
struct Bounds {
    std::optional<std::string> first, last;
    std::size_t count = 0;
};

Bounds scan(const std::string& reader_path)
{
    Bounds bounds;
    std::error_code ec;
    for (fs::directory_iterator it(spool(reader_path), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!is_message(name))
            continue;
        ++bounds.count;
        if (!bounds.first || name < *bounds.first)
            bounds.first = name;
        if (!bounds.last || name > *bounds.last)
            bounds.last = name;
    }
    return bounds;
}

}  // namespace

int create_uevent_spool(const std::string& reader_path)
{
    std::error_code ec;
    fs::create_directories(spool(reader_path), ec);
    if (ec)
        return ec.value();
    return make_wake_pipe(reader_path + "/" + std::string(kUeventWake));
}

int queue_uevent(const std::string& reader_path, std::string_view message)
{
    if (const int e = create_uevent_spool(reader_path))
        return e;
    const Bounds bounds = scan(reader_path);
    const unsigned long long number = bounds.last ? std::stoull(bounds.last->substr(0, kDigits)) + 1 : 1;
    char name[kDigits + 8];
    std::snprintf(name, sizeof name, "%020llu.msg", number);
    if (const int e = replace_file(spool(reader_path) + "/" + name, message))
        return e;
    wake(reader_path + "/" + std::string(kUeventWake));
    return 0;
}

bool uevent_waiting(const std::string& reader_path) { return scan(reader_path).count > 0; }

std::size_t uevents_waiting(const std::string& reader_path) { return scan(reader_path).count; }

int take_uevent(const std::string& reader_path, std::string& message, bool peek)
{
    const Bounds bounds = scan(reader_path);
    if (!bounds.first)
        return ENOENT;
    const std::string path = spool(reader_path) + "/" + *bounds.first;
    if (const int e = read_file(path, message))
        return e;
    std::error_code ec;
    if (!peek && !fs::remove(path, ec))
        return ec ? ec.value() : ENOENT;
    return 0;
}

std::string escape_uevent(std::string_view message)
{
    std::string out;
    for (const char c : message) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\0') {
            out += "\\0";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (byte >= 0x20 && byte < 0x7F) {
            out += c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
        }
    }
    return out;
}

}  // namespace vreader
