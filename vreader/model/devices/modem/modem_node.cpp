#include "vreader/model/devices/modem/modem_node.hpp"

#include "vreader/model/core/node_open.hpp"
#include "vreader/model/devices/modem/wan_modem.hpp"

#include <fcntl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace vreader {
namespace {

// A runaway writer cannot grow the command line without bound; what comes
// past this is dropped, and the line is answered ERROR when it ends.
constexpr std::size_t kMaxCommandLine = 1024;
// How often a modem set to send unsolicited lines sends one.
constexpr std::int64_t kUnsolicitedEvery = 100'000'000;  // ns

}  // namespace

std::int64_t ModemNode::open(ReaderContext& context, const std::string& path, int flags, int fd,
                             std::unique_ptr<DeviceFile>& out)
{
    const Node node{path, kModemDevice, kModemMajor, kModemMinor};
    int access = 0;
    const std::int64_t result = journal_open(context, node.path, node.device, flags, fd, access);
    if (result >= 0)
        out.reset(new ModemNode(context, node, access, (flags & O_NONBLOCK) != 0));
    return result;
}

const ModemContent* ModemNode::content()
{
    if (!content_file_.refresh() && content_)
        return &*content_;
    std::string why;
    ModemContent loaded;
    if (!parse_modem(content_file_.text(), loaded, why)) {
        std::fprintf(stderr, "vreader: cannot read %s: %s\n", content_file_.path().c_str(), why.c_str());
        content_.reset();
        return nullptr;
    }
    content_ = std::move(loaded);
    return &*content_;
}

bool ModemNode::read_would_block() { return received_.empty() && !nonblocking_ && !fails_at_once("read"); }

short ModemNode::poll_ready(short requested) const { return received_.poll_ready(requested); }

std::int64_t ModemNode::unasked_input_after()
{
    const ModemContent* modem = content();
    if (modem == nullptr || modem->unsolicited.empty() || !received_.empty() || access_ == O_WRONLY)
        return -1;
    return kUnsolicitedEvery;
}

void ModemNode::unasked_input_arrives()
{
    const ModemContent* modem = content();
    if (modem == nullptr || modem->unsolicited.empty())
        return;
    Session session = context_.session();
    JsonLine line("modem_unsolicited");
    line.add("text", modem->unsolicited);
    session.finish(line, 0, false);
    queue(wan_modem::wire({modem->unsolicited}, modem->blank_lines), 1);
}

std::int64_t ModemNode::read(void* buf, std::size_t count)
{
    DeviceRequest read = node_request("read");
    read.line().add("count", count);
    if (const auto ended = read.start(FaultEnds::Errors))
        return *ended;
    if (access_ == O_WRONLY)
        return read.finish(-EBADF);
    // Nothing will come while this process waits in the model.
    if (received_.empty())
        return read.finish(nonblocking_ ? -EAGAIN : -EINTR);
    if (count == 0)
        return read.finish(0);
    const std::size_t n = received_.take(buf, count, read.faulted(FaultKind::Short), read.line());
    return read.finish(static_cast<std::int64_t>(n), read.fault().fired);
}

std::int64_t ModemNode::write(const void* buf, std::size_t count)
{
    DeviceRequest write = node_request("write");
    write.line().add("count", count).add("bytes", hex_bytes(buf, count));
    if (const auto ended = write.start(FaultEnds::Errors))
        return *ended;
    if (access_ == O_RDONLY)
        return write.finish(-EBADF);
    const FaultHit& fault = write.fault();
    std::size_t taken = count;
    if (fault.fired)
        taken = fault.kind == FaultKind::Short ? count / 2 : 0;  // short, or lost
    const std::int64_t result =
        write.finish(static_cast<std::int64_t>(fault.kind == FaultKind::Lost ? count : taken), fault.fired);

    const std::string_view text(static_cast<const char*>(buf), taken);
    if (text.empty())
        return result;
    // The modem takes every byte that reaches it, whether or not it can
    // answer: a command line that ends while modem.conf is unreadable goes
    // unanswered, and its bytes never join the next command's.
    const ModemContent* modem = content();
    if (modem != nullptr && modem->echo) {
        JsonLine echo("modem_echo");
        echo.add("text", text);
        write.follow(echo);
        queue(std::string(text), 1);
    }
    for (const char c : text) {
        if (c != '\r' && c != '\n') {
            if (line_.size() < kMaxCommandLine)
                line_ += c;
        } else if (!line_.empty()) {
            command(write, std::exchange(line_, {}));
        }
    }
    return result;
}

void ModemNode::command(DeviceRequest& write, const std::string& text)
{
    JsonLine command("modem_command");
    command.add("text", text);
    const ModemContent* modem = content();
    if (modem == nullptr) {
        command.add("answer", "none: modem.conf is unreadable");
        write.follow(command);
        return;
    }
    wan_modem::Answer answer = wan_modem::answer(text, *modem, handshakes_);
    command.add("answer", answer.kind);
    // A reply fault makes the modem keep silent or send its answer in pieces.
    std::size_t pieces = 1;
    const FaultHit fault = write.fault_on("reply");
    if (fault.fired && fault.kind == FaultKind::Silent)
        answer.lines.clear();
    if (fault.fired && fault.kind == FaultKind::Split)
        pieces = fault.value;
    if (fault.fired)
        command.add("faulted", true);
    write.follow(command);
    for (const std::string& sent : answer.lines) {
        JsonLine reply("modem_answer");
        reply.add("text", sent);
        write.follow(reply);
    }
    queue(wan_modem::wire(answer.lines, modem->blank_lines), pieces);
}

void ModemNode::queue(const std::string& bytes, std::size_t pieces)
{
    if (bytes.empty())
        return;
    const ModemContent* modem = content();
    if (modem != nullptr && modem->bytewise)
        pieces = bytes.size();
    pieces = std::clamp<std::size_t>(pieces, 1, bytes.size());
    // Nearly equal pieces, the longer ones first.
    std::size_t at = 0;
    for (std::size_t i = 0; i < pieces; ++i) {
        const std::size_t length = bytes.size() / pieces + (i < bytes.size() % pieces ? 1 : 0);
        received_.push(bytes.substr(at, length));
        at += length;
    }
    ++context_.input_events;
}

}  // namespace vreader
