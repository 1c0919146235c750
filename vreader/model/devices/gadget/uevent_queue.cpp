#include "vreader/model/devices/gadget/uevent_queue.hpp"

#include "vreader/model/core/wake_pipe.hpp"
#include "vreader/model/state/files.hpp"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace vreader {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kSuffix = ".msg";
constexpr std::size_t kDigits = 20;  // zero-padded, so names sort as numbers
constexpr std::string_view kListening = "listening";
constexpr std::string_view kWake = "wake";

std::string spool(const std::string& reader_path) { return reader_path + "/" + std::string(kUeventDir); }
std::string sockets(const std::string& reader_path) { return spool(reader_path) + "/sockets"; }
std::string at_bind(const std::string& reader_path) { return spool(reader_path) + "/at_bind"; }

bool is_message(const std::string& name)
{
    return name.size() == kDigits + kSuffix.size() && name.ends_with(kSuffix) &&
           name.find_first_not_of("0123456789") == kDigits;
}

// The messages of a queue, in number order.
std::vector<std::string> messages(const std::string& queue)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(queue, ec), end; !ec && it != end; it.increment(ec))
        if (const std::string name = it->path().filename().string(); is_message(name))
            names.push_back(name);
    std::sort(names.begin(), names.end());
    return names;
}

// Appends `message` to the queue after its last one.
int append(const std::string& queue, std::string_view message)
{
    const std::vector<std::string> names = messages(queue);
    const unsigned long long number = names.empty() ? 1 : std::stoull(names.back().substr(0, kDigits)) + 1;
    char name[kDigits + 8];
    std::snprintf(name, sizeof name, "%020llu.msg", number);
    return replace_file(queue + "/" + name, message);
}

// The process a queue belongs to is still there.
bool owner_alive(const std::string& name)
{
    const auto dot = name.find('.');
    const long pid = std::strtol(name.substr(0, dot).c_str(), nullptr, 10);
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH);
}

// The queues of the sockets that listen now; those of processes that have
// gone are dropped on the way.
std::vector<std::string> listening_queues(const std::string& reader_path)
{
    std::vector<std::string> queues, gone;
    std::error_code ec;
    for (fs::directory_iterator it(sockets(reader_path), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string queue = it->path().string();
        if (!owner_alive(it->path().filename().string()))
            gone.push_back(queue);
        else if (file_exists(queue + "/" + std::string(kListening)))
            queues.push_back(queue);
    }
    for (const std::string& queue : gone)
        fs::remove_all(queue, ec);
    std::sort(queues.begin(), queues.end());
    return queues;
}

}  // namespace

int create_uevent_spool(const std::string& reader_path)
{
    std::error_code ec;
    fs::create_directories(sockets(reader_path), ec);
    if (!ec)
        fs::create_directories(at_bind(reader_path), ec);
    return ec ? ec.value() : 0;
}

int open_uevent_queue(const std::string& reader_path, std::string& queue)
{
    static std::atomic<unsigned> opened{0};
    if (const int e = create_uevent_spool(reader_path))
        return e;
    queue = sockets(reader_path) + "/" + std::to_string(::getpid()) + "." + std::to_string(++opened);
    std::error_code ec;
    fs::remove_all(queue, ec);  // a queue left by an earlier process of this number
    if (!fs::create_directory(queue, ec))
        return ec ? ec.value() : EEXIST;
    return make_wake_pipe(uevent_wake_pipe(queue));
}

void close_uevent_queue(const std::string& queue)
{
    std::error_code ec;
    fs::remove_all(queue, ec);
}

std::string uevent_wake_pipe(const std::string& queue) { return queue + "/" + std::string(kWake); }

int set_uevent_listening(const std::string& reader_path, const std::string& queue, bool listening)
{
    const std::string marker = queue + "/" + std::string(kListening);
    if (!listening) {
        std::error_code ec;
        fs::remove(marker, ec);
        return ec ? ec.value() : 0;
    }
    if (const int e = replace_file(marker, ""))
        return e;
    // What waited for a bind happens now, to every socket listening.
    for (const std::string& name : messages(at_bind(reader_path))) {
        const std::string path = at_bind(reader_path) + "/" + name;
        std::string message;
        std::size_t copies = 0;
        if (const int e = read_file(path, message); e != 0)
            return e;
        if (const int e = send_uevent(reader_path, message, copies))
            return e;
        std::error_code ec;
        fs::remove(path, ec);
    }
    return 0;
}

int send_uevent(const std::string& reader_path, std::string_view message, std::size_t& copies)
{
    copies = 0;
    if (const int e = create_uevent_spool(reader_path))
        return e;
    for (const std::string& queue : listening_queues(reader_path)) {
        if (const int e = append(queue, message))
            return e;
        ++copies;
        wake(uevent_wake_pipe(queue));
    }
    return 0;
}

int send_uevent_at_bind(const std::string& reader_path, std::string_view message, std::size_t& copies)
{
    if (const int e = send_uevent(reader_path, message, copies); e != 0 || copies > 0)
        return e;
    return append(at_bind(reader_path), message);
}

bool uevent_waiting(const std::string& queue) { return !messages(queue).empty(); }

std::size_t uevents_waiting(const std::string& queue) { return messages(queue).size(); }

int take_uevent(const std::string& queue, std::string& message, bool peek)
{
    const std::vector<std::string> names = messages(queue);
    if (names.empty())
        return ENOENT;
    const std::string path = queue + "/" + names.front();
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
