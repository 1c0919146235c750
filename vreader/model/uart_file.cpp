#include "vreader/model/uart_file.hpp"

#include "vreader/model/files.hpp"
#include "vreader/model/touch_panel.hpp"
#include "vreader/model/tty_settings.hpp"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vreader {
namespace {

std::string hex(const std::uint8_t* bytes, std::size_t count)
{
    std::string text;
    char pair[4];
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(pair, sizeof pair, "%02X", bytes[i]);
        text += pair;
    }
    return text;
}

std::string hex(const std::vector<std::uint8_t>& bytes) { return hex(bytes.data(), bytes.size()); }

std::string modem_words(int bits)
{
    std::string words;
    for (const auto& [bit, name] : {std::pair{TIOCM_CTS, "CTS"}, {TIOCM_DSR, "DSR"}, {TIOCM_CD, "CD"},
                                    {TIOCM_DTR, "DTR"}, {TIOCM_RTS, "RTS"}})
        if (bits & bit)
            words += (words.empty() ? "" : "|") + std::string(name);
    return words.empty() ? "0" : words;
}

bool load_content(const ReaderDir& dir, TouchPanelContent& content)
{
    std::string text;
    std::string why;
    if (read_file(dir.file(kTouchPanelFile), text) != 0 || !parse_touch_panel(text, content, why)) {
        std::fprintf(stderr, "vreader: cannot read %s: %s\n", dir.file(kTouchPanelFile).c_str(),
                     why.empty() ? "missing" : why.c_str());
        return false;
    }
    return true;
}

}  // namespace

std::int64_t UartFile::open(ReaderContext& context, const std::string& path, int flags, int fd,
                            std::unique_ptr<DeviceFile>& out)
{
    Session session = context.session();
    JsonLine line("open");
    line.add("path", path).add("flags", flags);
    if (const int e = session.error())
        return session.finish(line, -e, false);
    if (const FaultHit fault = session.take_fault("open", kUartDevice); fault.fired)
        return session.finish(line, -fault.error, true);
    const int access = flags & O_ACCMODE;
    if (access == O_ACCMODE)
        return session.finish(line, -EINVAL, false);
    out.reset(new UartFile(context, path, access));
    return session.finish(line, fd, false);
}

void UartFile::fill_stat(struct stat& st) const
{
    std::memset(&st, 0, sizeof st);
    st.st_mode = S_IFCHR | 0660;
    st.st_nlink = 1;
    st.st_rdev = makedev(kUartMajor, kUartMinor);
    st.st_blksize = 4096;
}

short UartFile::poll_ready(short requested) const
{
    short ready = static_cast<short>(requested & (POLLOUT | POLLWRNORM));
    if (!received_.empty())
        ready = static_cast<short>(ready | (requested & (POLLIN | POLLRDNORM)));
    return ready;
}

std::int64_t UartFile::read(void* buf, std::size_t count)
{
    Session session = context_.session();
    JsonLine line("read");
    line.add("count", count);
    if (const int e = session.error())
        return session.finish(line, -e, false);
    if (const FaultHit fault = session.take_fault("read", kUartDevice); fault.fired && fault.kind == FaultKind::Error)
        return session.finish(line, -fault.error, true);
    if (access_ == O_WRONLY)
        return session.finish(line, -EBADF, false);
    // Nothing will come while this process waits in the model: a read that
    // would block ends as a signal would end it.
    if (received_.empty())
        return session.finish(line, -EINTR, false);
    if (count == 0)
        return session.finish(line, 0, false);
    std::vector<std::uint8_t>& piece = received_.front();
    const std::size_t n = std::min(count, piece.size());
    std::memcpy(buf, piece.data(), n);
    line.add("bytes", hex(piece.data(), n));
    piece.erase(piece.begin(), piece.begin() + static_cast<long>(n));
    if (piece.empty())
        received_.pop_front();
    return session.finish(line, static_cast<std::int64_t>(n), false);
}

std::int64_t UartFile::write(const void* buf, std::size_t count)
{
    Session session = context_.session();
    JsonLine line("write");
    const auto* bytes = static_cast<const std::uint8_t*>(buf);
    line.add("count", count).add("bytes", hex(bytes, count));
    if (const int e = session.error())
        return session.finish(line, -e, false);
    if (const FaultHit fault = session.take_fault("write", kUartDevice); fault.fired && fault.kind == FaultKind::Error)
        return session.finish(line, -fault.error, true);
    if (access_ == O_RDONLY)
        return session.finish(line, -EBADF, false);
    const std::int64_t result = session.finish(line, static_cast<std::int64_t>(count), false);

    // The controller listens only after the host asserted its line.
    JsonLine request("panel_request");
    request.add("bytes", hex(bytes, count));
    if (!pulsed_ && !driven_) {
        request.add("ignored", true);
        session.finish(request, 0, false);
        return result;
    }
    request.add("pulse_us", driven_ ? now_us() - rise_us_ : last_pulse_us_);
    session.finish(request, 0, false);
    pulsed_ = driven_;
    pending_.insert(pending_.end(), bytes, bytes + count);
    TouchPanelContent content;
    if (!load_content(context_.dir, content))
        return result;
    bool changed = false;
    take_requests(session, changed, content);
    if (changed)
        replace_file(context_.dir.file(kTouchPanelFile), format_touch_panel(content));
    return result;
}

void UartFile::take_requests(Session& session, bool& changed, TouchPanelContent& content)
{
    while (!pending_.empty() && pending_.size() >= 1 + touch_panel::parameter_count(pending_[0])) {
        const std::size_t length = 1 + touch_panel::parameter_count(pending_[0]);
        const std::vector<std::uint8_t> request(pending_.begin(), pending_.begin() + static_cast<long>(length));
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(length));
        if (request[0] == touch_panel::kTouchStart) {
            for (const auto& report : content.touch)
                received_.push_back(report);
            continue;
        }
        // A reply takes the fault on its command and the fault on every reply.
        char code[16];
        std::snprintf(code, sizeof code, "reply_%02X", request[0]);
        std::vector<FaultHit> faults;
        for (const std::string_view name : {std::string_view(code), std::string_view("reply")})
            if (const FaultHit fault = session.take_fault(name, kUartDevice); fault.fired)
                faults.push_back(fault);
        const auto pieces = touch_panel::deliver(touch_panel::answer(request, content, changed), faults);
        JsonLine reply("panel_reply");
        reply.add("code", static_cast<unsigned>(request[0]));
        std::string bytes;
        for (const auto& piece : pieces) {
            bytes += (bytes.empty() ? "" : " ") + hex(piece);
            received_.push_back(piece);
        }
        reply.add("bytes", bytes).add("pieces", pieces.size());
        if (!faults.empty())
            reply.add("faulted", true);
        session.finish(reply, 0, !faults.empty());
    }
}

std::int64_t UartFile::modem_request(std::string_view name, unsigned long request, int* bits)
{
    Session session = context_.session();
    JsonLine line(name);
    if (const int e = session.error())
        return session.finish(line, -e, false);
    const FaultHit fault = session.take_fault(name, kUartDevice);
    if (request != TIOCMGET) {
        const int asked = bits != nullptr ? *bits : 0;
        line.add("bits", modem_words(asked)).add("at_us", now_us());
        if (fault.fired)
            return session.finish(line, -fault.error, true);
        if (bits == nullptr)
            return session.finish(line, -EFAULT, false);
        if (asked & TIOCM_RTS) {
            const bool raise = request == TIOCMBIS;
            if (raise && !driven_) {
                rise_us_ = now_us();
                pulsed_ = true;
            } else if (!raise && driven_) {
                last_pulse_us_ = now_us() - rise_us_;
            }
            driven_ = raise;
        }
        return session.finish(line, 0, false);
    }
    if (fault.fired)
        return session.finish(line, -fault.error, true);
    if (bits == nullptr)
        return session.finish(line, -EFAULT, false);
    TouchPanelContent content;
    const bool panel_high = !load_content(context_.dir, content) || content.rts_high;
    // The panel's line reads as CTS set while the panel holds it low.
    *bits = TIOCM_DTR | (driven_ ? TIOCM_RTS : 0) | (panel_high ? 0 : TIOCM_CTS);
    // A watch loop asks thousands of times: only changes are journaled.
    if (last_reported_bits_ == *bits) {
        session.commit();
        return 0;
    }
    last_reported_bits_ = *bits;
    line.add("bits", modem_words(*bits));
    return session.finish(line, 0, false);
}

std::int64_t UartFile::ioctl(unsigned long request, void* arg)
{
    const auto number = static_cast<std::uint32_t>(request);
    if (number == TIOCMGET)
        return modem_request("TIOCMGET", number, static_cast<int*>(arg));
    if (number == TIOCMBIS)
        return modem_request("TIOCMBIS", number, static_cast<int*>(arg));
    if (number == TIOCMBIC)
        return modem_request("TIOCMBIC", number, static_cast<int*>(arg));
    Session session = context_.session();
    JsonLine line("unknown");
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", number);
    line.add("number", text);
    return session.finish(line, -ENOTTY, false);
}

std::int64_t UartFile::tcgetattr(struct termios& t)
{
    Session session = context_.session();
    JsonLine line("tcgetattr");
    std::string why;
    if (!load_termios(context_.dir, kUartDevice, t, why)) {
        std::fprintf(stderr, "vreader: %s: %s\n", termios_file(kUartDevice).c_str(), why.c_str());
        return session.finish(line, -EIO, false);
    }
    line.add("settings", describe_termios(t));
    return session.finish(line, 0, false);
}

std::int64_t UartFile::tcsetattr(int optional_actions, const struct termios& t)
{
    Session session = context_.session();
    JsonLine line("tcsetattr");
    line.add("action", optional_actions).add("settings", describe_termios(t));
    if (const int e = session.error())
        return session.finish(line, -e, false);
    if (optional_actions != TCSANOW && optional_actions != TCSADRAIN && optional_actions != TCSAFLUSH)
        return session.finish(line, -EINVAL, false);
    return session.finish(line, -save_termios(context_.dir, kUartDevice, t), false);
}

std::int64_t UartFile::close()
{
    Session session = context_.session();
    JsonLine line("close");
    line.add("path", path_);
    if (const int e = session.error())
        return session.finish(line, -e, false);
    const FaultHit fault = session.take_fault("close", kUartDevice);
    return session.finish(line, -fault.error, fault.fired);
}

}  // namespace vreader
