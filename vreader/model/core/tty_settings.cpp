#include "vreader/model/core/tty_settings.hpp"

#include "vreader/model/state/files.hpp"
#include "vreader/model/state/key_value.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vreader {
namespace {

struct FlagName {
    tcflag_t bit;
    const char* name;
};

constexpr FlagName kIflags[] = {{IGNBRK, "IGNBRK"}, {BRKINT, "BRKINT"}, {IGNPAR, "IGNPAR"}, {PARMRK, "PARMRK"},
                                {INPCK, "INPCK"},   {ISTRIP, "ISTRIP"}, {INLCR, "INLCR"},   {IGNCR, "IGNCR"},
                                {ICRNL, "ICRNL"},   {IXON, "IXON"},     {IXANY, "IXANY"},   {IXOFF, "IXOFF"}};
constexpr FlagName kOflags[] = {{OPOST, "OPOST"}, {ONLCR, "ONLCR"}, {OCRNL, "OCRNL"}};
constexpr FlagName kCflags[] = {{CSTOPB, "CSTOPB"}, {CREAD, "CREAD"},   {PARENB, "PARENB"},  {PARODD, "PARODD"},
                                {HUPCL, "HUPCL"},   {CLOCAL, "CLOCAL"}, {CRTSCTS, "CRTSCTS"}};
constexpr FlagName kLflags[] = {{ISIG, "ISIG"},     {ICANON, "ICANON"},   {ECHO, "ECHO"},     {ECHOE, "ECHOE"},
                                {ECHOK, "ECHOK"},   {ECHONL, "ECHONL"},   {NOFLSH, "NOFLSH"}, {TOSTOP, "TOSTOP"},
                                {IEXTEN, "IEXTEN"}, {ECHOCTL, "ECHOCTL"}, {ECHOKE, "ECHOKE"}};

template <std::size_t N>
std::string flag_words(tcflag_t value, const FlagName (&names)[N])
{
    std::string words;
    for (const auto& flag : names) {
        if (value & flag.bit) {
            words += (words.empty() ? "" : "|") + std::string(flag.name);
            value &= ~flag.bit;
        }
    }
    if (value != 0) {
        char rest[16];
        std::snprintf(rest, sizeof rest, "0x%X", value);
        words += (words.empty() ? "" : "|") + std::string(rest);
    }
    return words.empty() ? "0" : words;
}

struct Speed {
    speed_t bits;
    unsigned baud;
};

constexpr Speed kSpeeds[] = {{B0, 0},           {B1200, 1200},     {B2400, 2400},     {B4800, 4800},
                             {B9600, 9600},     {B19200, 19200},   {B38400, 38400},   {B57600, 57600},
                             {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B921600, 921600}};

}  // namespace

std::string termios_file(std::string_view device) { return std::string(device) + ".termios"; }

struct termios default_termios()
{
    struct termios t {};
    t.c_iflag = ICRNL | IXON;
    t.c_oflag = OPOST | ONLCR;
    t.c_cflag = B9600 | CS8 | CREAD | HUPCL | CLOCAL;
    t.c_lflag = ISIG | ICANON | ECHO | ECHOE | ECHOK | ECHOCTL | ECHOKE | IEXTEN;
    t.c_cc[VINTR] = 3;
    t.c_cc[VQUIT] = 28;
    t.c_cc[VERASE] = 127;
    t.c_cc[VKILL] = 21;
    t.c_cc[VEOF] = 4;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    t.c_cc[VSTART] = 17;
    t.c_cc[VSTOP] = 19;
    t.c_cc[VSUSP] = 26;
    ::cfsetispeed(&t, B9600);
    ::cfsetospeed(&t, B9600);
    return t;
}

std::string format_termios(const struct termios& t)
{
    std::string text = "iflag=" + std::to_string(t.c_iflag) + "\noflag=" + std::to_string(t.c_oflag) +
                       "\ncflag=" + std::to_string(t.c_cflag) + "\nlflag=" + std::to_string(t.c_lflag) + "\ncc=";
    for (std::size_t i = 0; i < NCCS; ++i)
        text += (i ? " " : "") + std::to_string(t.c_cc[i]);
    return text + "\n";
}

bool parse_termios(std::string_view text, struct termios& out, std::string& error)
{
    std::vector<KeyValue> entries;
    if (!parse_key_values(text, entries, error))
        return false;
    struct termios t = default_termios();
    tcflag_t* const flags[] = {&t.c_iflag, &t.c_oflag, &t.c_cflag, &t.c_lflag};
    const char* const names[] = {"iflag", "oflag", "cflag", "lflag"};
    for (int i = 0; i < 4; ++i) {
        if (const std::string* value = find_value(entries, names[i])) {
            const auto number = parse_unsigned(*value, UINT32_MAX);
            if (!number) {
                error = std::string("bad ") + names[i] + ": " + *value;
                return false;
            }
            *flags[i] = static_cast<tcflag_t>(*number);
        }
    }
    if (const std::string* cc = find_value(entries, "cc")) {
        std::size_t i = 0;
        std::size_t at = 0;
        while (at < cc->size() && i < NCCS) {
            const auto end = cc->find(' ', at);
            const auto number = parse_unsigned(cc->substr(at, end - at), 255);
            if (!number) {
                error = "bad cc: " + *cc;
                return false;
            }
            t.c_cc[i++] = static_cast<cc_t>(*number);
            at = end == std::string::npos ? cc->size() : end + 1;
        }
    }
    const speed_t speed = t.c_cflag & (CBAUD | CBAUDEX);
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    out = t;
    return true;
}

bool load_termios(const ReaderDir& dir, std::string_view device, struct termios& out, std::string& error)
{
    std::string text;
    const int e = read_file(dir.file(termios_file(device)), text);
    if (e == ENOENT) {
        out = default_termios();
        return true;
    }
    if (e != 0) {
        error = std::strerror(e);
        return false;
    }
    return parse_termios(text, out, error);
}

int save_termios(const ReaderDir& dir, std::string_view device, const struct termios& t)
{
    return replace_file(dir.file(termios_file(device)), format_termios(t));
}

unsigned baud_of(const struct termios& t)
{
    const speed_t bits = t.c_cflag & (CBAUD | CBAUDEX);
    for (const auto& speed : kSpeeds)
        if (speed.bits == bits)
            return speed.baud;
    return 0;
}

std::string describe_termios(const struct termios& t)
{
    const unsigned sizes[] = {5, 6, 7, 8};
    const unsigned character_size = sizes[(t.c_cflag & CSIZE) >> 4];
    return std::to_string(baud_of(t)) + " CS" + std::to_string(character_size) + " " +
           flag_words(t.c_cflag & ~(CBAUD | CBAUDEX | CSIZE), kCflags) + " iflag=" + flag_words(t.c_iflag, kIflags) +
           " oflag=" + flag_words(t.c_oflag, kOflags) + " lflag=" + flag_words(t.c_lflag, kLflags) +
           " vmin=" + std::to_string(t.c_cc[VMIN]) + " vtime=" + std::to_string(t.c_cc[VTIME]);
}

}  // namespace vreader
