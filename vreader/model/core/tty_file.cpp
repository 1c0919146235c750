#include "vreader/model/core/tty_file.hpp"

#include "vreader/model/core/tty_settings.hpp"

#include <sys/sysmacros.h>

#include <cstdio>
#include <cstring>

namespace vreader {

std::string hex_bytes(const void* bytes, std::size_t count)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(2 * count);
    for (std::size_t i = 0; i < count; ++i) {
        const auto byte = static_cast<const std::uint8_t*>(bytes)[i];
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

void TtyFile::fill_stat(struct stat& st) const { char_device_stat(st, major_, minor_); }

std::int64_t TtyFile::tcgetattr(struct termios& t)
{
    DeviceRequest get = node_request("tcgetattr");
    get.line().add("path", path_);
    if (const auto ended = get.start(FaultEnds::Any))
        return *ended;
    std::string why;
    if (!load_termios(context_.dir, device_, t, why)) {
        std::fprintf(stderr, "vreader: %s: %s\n", termios_file(device_).c_str(), why.c_str());
        return get.finish(-EIO);
    }
    get.line().add("settings", describe_termios(t));
    return get.finish(0);
}

std::int64_t TtyFile::tcsetattr(int optional_actions, const struct termios& t)
{
    DeviceRequest set = node_request("tcsetattr");
    set.line().add("path", path_).add("action", optional_actions).add("settings", describe_termios(t));
    if (const auto ended = set.start(FaultEnds::Any))
        return *ended;
    if (optional_actions != TCSANOW && optional_actions != TCSADRAIN && optional_actions != TCSAFLUSH)
        return set.finish(-EINVAL);
    struct termios kept = t;
    if (!sets_line_hardware()) {
        struct termios old {};
        std::string why;
        if (!load_termios(context_.dir, device_, old, why)) {
            std::fprintf(stderr, "vreader: %s: %s\n", termios_file(device_).c_str(), why.c_str());
            return set.finish(-EIO);
        }
        constexpr tcflag_t kSoftware = HUPCL | CREAD | CLOCAL;
        kept.c_cflag = (t.c_cflag & kSoftware) | (old.c_cflag & ~kSoftware);
        ::cfsetispeed(&kept, ::cfgetispeed(&old));
        ::cfsetospeed(&kept, ::cfgetospeed(&old));
    }
    return set.finish(-save_termios(context_.dir, device_, kept));
}

}  // namespace vreader
