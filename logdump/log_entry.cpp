#include "logdump/log_entry.hpp"

#include "platform/sys.hpp"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <string_view>

namespace melgrin {
namespace {

std::uint32_t u16_at(const std::uint8_t* p) { return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8; }
std::int32_t i32_at(const std::uint8_t* p)
{
    return static_cast<std::int32_t>(std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                                     std::uint32_t(p[3]) << 24);
}

char priority_letter(unsigned priority)
{
    static const char letters[] = "VDIWEFS";
    return priority >= 2 && priority <= 8 ? letters[priority - 2] : '?';
}

}  // namespace

void print_log_entry(std::FILE* out, const std::uint8_t* entry, std::size_t size)
{
    const std::size_t held = size > kHeader ? size - kHeader : 0;
    const std::size_t payload = std::min<std::size_t>(u16_at(entry), held);
    const std::uint8_t* p = entry + kHeader;
    const unsigned priority = payload >= 1 ? p[0] : 0;

    const char* text = reinterpret_cast<const char*>(p);
    auto field = [&](std::size_t from, std::size_t& next) {
        if (from >= payload) {
            next = payload;
            return std::string_view{};
        }
        const void* nul = std::memchr(text + from, '\0', payload - from);
        const std::size_t end =
            nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - text) : payload;
        next = end + 1;
        return std::string_view(text + from, end - from);
    };
    std::size_t after_tag = 0, after_message = 0;
    const std::string_view tag = field(1, after_tag);
    std::string_view message = field(after_tag, after_message);
    if (!message.empty() && message.back() == '\n')
        message.remove_suffix(1);

    const std::time_t seconds = i32_at(entry + 12);
    char when[64] = "";
    if (const std::tm* local = std::localtime(&seconds))
        std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", local);
    std::fprintf(out, "%s.%03ld %c %.*s (%ld:%ld) %.*s\n", when, long{i32_at(entry + 16)} / 1000000,
                 priority_letter(priority), static_cast<int>(tag.size()), tag.data(), long{i32_at(entry + 4)},
                 long{i32_at(entry + 8)}, static_cast<int>(message.size()), message.data());
}

DumpRead read_dump_entry(int fd, std::uint8_t* entry, std::size_t& size)
{
    const ssize_t got = sys::read(fd, entry, 2);
    if (got >= 0 && got < 2)
        return DumpRead::End;
    if (got < 0)
        return DumpRead::Broken;
    const std::size_t rest = u16_at(entry) + 18;
    if (rest > kReadLimit - 2)
        return DumpRead::Broken;
    // A dump cut inside an entry is a bad dump, not a short entry.
    if (sys::read(fd, entry + 2, rest) != static_cast<ssize_t>(rest))
        return DumpRead::Broken;
    size = rest + 2;
    return DumpRead::Entry;
}

}  // namespace melgrin
