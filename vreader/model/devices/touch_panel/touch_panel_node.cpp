#include "vreader/model/devices/touch_panel/touch_panel_node.hpp"

#include "vreader/model/core/node_open.hpp"
#include "vreader/model/devices/touch_panel/touch_panel.hpp"
#include "vreader/model/state/files.hpp"

#include <fcntl.h>
#include <sys/ioctl.h>

#include <cstdio>
#include <cstring>

namespace vreader {
namespace {

std::string modem_words(int bits)
{
    std::string words;
    for (const auto& [bit, name] :
         {std::pair{TIOCM_CTS, "CTS"}, {TIOCM_DSR, "DSR"}, {TIOCM_CD, "CD"}, {TIOCM_DTR, "DTR"}, {TIOCM_RTS, "RTS"}})
        if (bits & bit)
            words += (words.empty() ? "" : "|") + std::string(name);
    return words.empty() ? "0" : words;
}

}  // namespace

std::int64_t TouchPanelNode::open(ReaderContext& context, const std::string& path, int flags, int fd,
                                  std::unique_ptr<DeviceFile>& out)
{
    const Node node{path, kUartDevice, kUartMajor, kUartMinor};
    int access = 0;
    const std::int64_t result = journal_open(context, node.path, node.device, flags, fd, access);
    if (result >= 0)
        out.reset(new TouchPanelNode(context, node, access, (flags & O_NONBLOCK) != 0));
    return result;
}

const TouchPanelContent* TouchPanelNode::content()
{
    if (!content_file_.refresh() && content_)
        return &*content_;
    std::string why;
    TouchPanelContent loaded;
    if (!parse_touch_panel(content_file_.text(), loaded, why)) {
        std::fprintf(stderr, "vreader: cannot read %s: %s\n", content_file_.path().c_str(), why.c_str());
        content_.reset();
        return nullptr;
    }
    content_ = std::move(loaded);
    return &*content_;
}

bool TouchPanelNode::read_would_block() { return received_.empty() && !nonblocking_ && !fails_at_once("read"); }

short TouchPanelNode::poll_ready(short requested) const { return received_.poll_ready(requested); }

std::int64_t TouchPanelNode::read(void* buf, std::size_t count)
{
    DeviceRequest read = node_request("read");
    read.line().add("count", count);
    if (const auto ended = read.start(FaultEnds::Errors))
        return *ended;
    const bool short_read = read.faulted(FaultKind::Short);
    if (access_ == O_WRONLY)
        return read.finish(-EBADF);
    // Nothing will come while this process waits in the model: a read that
    // would block ends as a signal would end it; a non-blocking one fails
    // at once.
    if (received_.empty())
        return read.finish(nonblocking_ ? -EAGAIN : -EINTR);
    if (count == 0)
        return read.finish(0);
    const std::size_t n = received_.take(buf, count, short_read, read.line());
    return read.finish(static_cast<std::int64_t>(n), short_read);
}

std::int64_t TouchPanelNode::write(const void* buf, std::size_t count)
{
    DeviceRequest write = node_request("write");
    const auto* bytes = static_cast<const std::uint8_t*>(buf);
    write.line().add("count", count).add("bytes", hex_bytes(bytes, count));
    if (const auto ended = write.start(FaultEnds::Errors))
        return *ended;
    if (access_ == O_RDONLY)
        return write.finish(-EBADF);
    // A short write sends the first half of the bytes; a lost one none.
    const bool faulted = write.fault().fired;
    const std::size_t asked = count;
    if (faulted)
        count = write.faulted(FaultKind::Short) ? count / 2 : 0;
    const std::int64_t result =
        write.finish(static_cast<std::int64_t>(write.faulted(FaultKind::Lost) ? asked : count), faulted);
    if (faulted && count == 0)
        return result;

    // The controller listens only after the host asserted its line.
    JsonLine panel("panel_request");
    panel.add("bytes", hex_bytes(bytes, count));
    if (!pulsed_ && !driven_) {
        panel.add("ignored", true);
        write.follow(panel);
        return result;
    }
    panel.add("pulse_us", driven_ ? now_us() - rise_us_ : last_pulse_us_);
    write.follow(panel);
    pulsed_ = driven_;
    pending_.insert(pending_.end(), bytes, bytes + count);
    // A whole request is taken now, answered or not: a controller that
    // cannot answer it drops it, and never answers it later.
    std::optional<TouchPanelContent> updated;
    if (const TouchPanelContent* current = content())
        updated = *current;
    bool changed = false;
    take_requests(write, updated ? &*updated : nullptr, changed);
    if (changed)
        replace_file(context_.dir.file(kTouchPanelFile), format_touch_panel(*updated));
    return result;
}

void TouchPanelNode::take_requests(DeviceRequest& write, TouchPanelContent* content, bool& changed)
{
    while (!pending_.empty() && pending_.size() >= 1 + touch_panel::parameter_count(pending_[0])) {
        const std::size_t length = 1 + touch_panel::parameter_count(pending_[0]);
        const std::vector<std::uint8_t> request(pending_.begin(), pending_.begin() + static_cast<long>(length));
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(length));
        if (content == nullptr) {
            JsonLine reply("panel_reply");
            reply.add("code", static_cast<unsigned>(request[0])).add("bytes", "").add("pieces", 0);
            reply.add("unanswered", "touch_panel.conf is unreadable");
            write.follow(reply);
            continue;
        }
        if (request[0] == touch_panel::kTouchStart) {
            for (const auto& report : content->touch)
                received_.push(report);
            ++context_.input_events;
            continue;
        }
        // A reply takes the fault on its command and the fault on every reply.
        char code[16];
        std::snprintf(code, sizeof code, "reply_%02X", request[0]);
        std::vector<FaultHit> faults;
        for (const std::string_view name : {std::string_view(code), std::string_view("reply")})
            if (const FaultHit fault = write.fault_on(name); fault.fired)
                faults.push_back(fault);
        const auto pieces = touch_panel::deliver(touch_panel::answer(request, *content, changed), faults);
        JsonLine reply("panel_reply");
        reply.add("code", static_cast<unsigned>(request[0]));
        std::string bytes;
        for (const auto& piece : pieces) {
            bytes += (bytes.empty() ? "" : " ") + hex_bytes(piece.data(), piece.size());
            received_.push(piece);
        }
        if (!pieces.empty())
            ++context_.input_events;
        reply.add("bytes", bytes).add("pieces", pieces.size());
        if (!faults.empty())
            reply.add("faulted", true);
        write.follow(reply);
    }
}

std::int64_t TouchPanelNode::modem_request(std::string_view name, unsigned long number, int* bits)
{
    DeviceRequest lines = node_request(name);
    if (const auto ended = lines.start(FaultEnds::None))
        return *ended;
    const FaultHit& fault = lines.fault();
    if (number != TIOCMGET) {
        const int asked = bits != nullptr ? *bits : 0;
        lines.line().add("bits", modem_words(asked)).add("at_us", now_us());
        if (fault.fired)
            return lines.finish(-fault.error, true);
        if (bits == nullptr)
            return lines.finish(-EFAULT);
        if (asked & TIOCM_RTS) {
            const bool raise = number == TIOCMBIS;
            if (raise && !driven_) {
                rise_us_ = now_us();
                pulsed_ = true;
                // The pulse announces a new request: the bytes of one left
                // unfinished (written short) are not its start.
                if (!pending_.empty())
                    lines.line().add("dropped", hex_bytes(pending_.data(), pending_.size()));
                pending_.clear();
            } else if (!raise && driven_) {
                last_pulse_us_ = now_us() - rise_us_;
            }
            driven_ = raise;
        }
        return lines.finish(0);
    }
    if (fault.fired || bits == nullptr)
        return fault.fired ? lines.finish(-fault.error, true) : lines.finish(-EFAULT);
    const TouchPanelContent* panel = content();
    const bool panel_high = panel == nullptr || panel->rts_high;
    // The panel's line reads as CTS set while the panel holds it low.
    *bits = TIOCM_DTR | (driven_ ? TIOCM_RTS : 0) | (panel_high ? 0 : TIOCM_CTS);
    // A watch loop asks thousands of times: only changes are journaled.
    if (last_reported_bits_ == *bits)
        return 0;
    last_reported_bits_ = *bits;
    lines.line().add("bits", modem_words(*bits));
    return lines.finish(0);
}

std::int64_t TouchPanelNode::ioctl(unsigned long request, void* arg)
{
    const auto number = static_cast<std::uint32_t>(request);
    if (number == TIOCMGET)
        return modem_request("TIOCMGET", number, static_cast<int*>(arg));
    if (number == TIOCMBIS)
        return modem_request("TIOCMBIS", number, static_cast<int*>(arg));
    if (number == TIOCMBIC)
        return modem_request("TIOCMBIC", number, static_cast<int*>(arg));
    DeviceRequest unknown = node_request("unknown");
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", number);
    unknown.line().add("number", text);
    if (const auto ended = unknown.start_unfaulted())
        return *ended;
    return unknown.finish(-ENOTTY);
}

}  // namespace vreader
