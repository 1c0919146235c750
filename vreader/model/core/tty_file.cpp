#include "vreader/model/core/tty_file.hpp"

#include "vreader/model/core/request_opening.hpp"
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
    Session session = context_.session();
    JsonLine line("tcgetattr");
    line.add("path", path_);
    if (const auto ended = open_request(session, line, "tcgetattr", device_, FaultEnds::Any))
        return *ended;
    std::string why;
    if (!load_termios(context_.dir, device_, t, why)) {
        std::fprintf(stderr, "vreader: %s: %s\n", termios_file(device_).c_str(), why.c_str());
        return session.finish(line, -EIO, false);
    }
    line.add("settings", describe_termios(t));
    return session.finish(line, 0, false);
}

std::int64_t TtyFile::tcsetattr(int optional_actions, const struct termios& t)
{
    Session session = context_.session();
    JsonLine line("tcsetattr");
    line.add("path", path_).add("action", optional_actions).add("settings", describe_termios(t));
    if (const auto ended = open_request(session, line, "tcsetattr", device_, FaultEnds::Any))
        return *ended;
    if (optional_actions != TCSANOW && optional_actions != TCSADRAIN && optional_actions != TCSAFLUSH)
        return session.finish(line, -EINVAL, false);
    struct termios kept = t;
    if (!sets_line_hardware()) {
        struct termios old {};
        std::string why;
        if (!load_termios(context_.dir, device_, old, why)) {
            std::fprintf(stderr, "vreader: %s: %s\n", termios_file(device_).c_str(), why.c_str());
            return session.finish(line, -EIO, false);
        }
        constexpr tcflag_t kSoftware = HUPCL | CREAD | CLOCAL;
        kept.c_cflag = (t.c_cflag & kSoftware) | (old.c_cflag & ~kSoftware);
        ::cfsetispeed(&kept, ::cfgetispeed(&old));
        ::cfsetospeed(&kept, ::cfgetospeed(&old));
    }
    return session.finish(line, -save_termios(context_.dir, device_, kept), false);
}

std::int64_t TtyFile::close()
{
    release();
    Session session = context_.session();
    JsonLine line("close");
    line.add("path", path_);
    FaultHit fault;
    if (const auto ended = open_request(session, line, "close", device_, FaultEnds::None, fault))
        return *ended;
    return session.finish(line, -fault.error, fault.fired);
}

}  // namespace vreader
