#include "vreader/model/devices/past_log/past_log_nodes.hpp"

#include "vreader/model/core/node_open.hpp"
#include "vreader/model/core/request_opening.hpp"
#include "vreader/model/devices/past_log/past_log.hpp"
#include "vreader/model/devices/past_log/past_log_requests.hpp"

#include <fcntl.h>

#include <cstdio>
#include <cstring>

namespace vreader {
namespace {

const past_log::Request* find_request(std::uint32_t number)
{
    for (const auto& request : past_log::kRequests)
        if (request.number == number)
            return &request;
    return nullptr;
}

// A bijection of 32-bit values, so consecutive counts never give the same
// challenge, while the values still look unrelated.
std::uint32_t scramble(std::uint32_t value)
{
    value ^= value >> 16;
    value *= 0x85EBCA6B;
    value ^= value >> 13;
    value *= 0xC2B2AE35;
    value ^= value >> 16;
    return value;
}

}  // namespace

std::int64_t PastLogControlFile::open(ReaderContext& context, const std::string& path, int flags, int fd,
                                      std::unique_ptr<DeviceFile>& out)
{
    int access = 0;
    const std::int64_t result = journal_open(context, path, kPastLogControlDevice, flags, fd, access);
    if (result >= 0)
        out.reset(new PastLogControlFile(context, path));
    return result;
}

void PastLogControlFile::fill_stat(struct stat& st) const { char_device_stat(st, kMiscMajor, kPastLogControlMinor); }

std::int64_t PastLogControlFile::ioctl(unsigned long request, void* arg)
{
    // The kernel passes request numbers as 32-bit values.
    const auto number = static_cast<std::uint32_t>(request);
    Session session = context_.session();
    const past_log::Request* known = find_request(number);
    if (known == nullptr) {
        JsonLine line("unknown");
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08X", number);
        line.add("number", hex);
        return session.finish(line, -ENOTTY, false);
    }
    JsonLine line(known->name);
    FaultHit fault;
    if (const auto ended = open_request(session, line, known->name, kPastLogControlDevice, FaultEnds::None, fault))
        return *ended;
    if (number == past_log::kFlush.number) {
        if (fault.fired)
            return session.finish(line, -fault.error, true);
        return flush(session, line, arg);
    }
    return handshake(session, line, number, arg, fault);
}

std::int64_t PastLogControlFile::flush(Session& session, JsonLine& line, void* arg)
{
    line.add("arg", reinterpret_cast<std::uintptr_t>(arg));
    past_log::Counters counters;
    if (session.lock() != 0 || past_log::load_counters(context_.dir.path(), counters) != 0)
        return session.finish(line, -EIO, false);
    ++counters.flushes;
    if (const int e = past_log::save_counters(context_.dir.path(), counters))
        return session.finish(line, -e, false);
    line.add("flushes", counters.flushes);
    return session.finish(line, 0, false);
}

std::int64_t PastLogControlFile::handshake(Session& session, JsonLine& line, std::uint32_t number, void* arg,
                                           const FaultHit& fault)
{
    using Step = past_log::Access::Step;
    past_log::Access& access = context_.process_state<past_log::Access>();
    // Whatever fails, the next handshake starts from a new challenge.
    const auto refuse = [&](int error, std::string_view why, bool injected) {
        access.step = Step::Idle;
        if (!why.empty())
            line.add("refused", why);
        return session.finish(line, -error, injected);
    };
    if (fault.fired && fault.kind == FaultKind::Error)
        return refuse(fault.error, {}, true);
    if (arg == nullptr)
        return refuse(EFAULT, "no argument", false);

    if (number == past_log::kChallenge.number) {
        past_log::Counters counters;
        if (session.lock() != 0 || past_log::load_counters(context_.dir.path(), counters) != 0)
            return refuse(EIO, "state unreadable", false);
        ++counters.challenges;
        if (const int e = past_log::save_counters(context_.dir.path(), counters))
            return refuse(e, "state unwritable", false);
        access.challenge = scramble(static_cast<std::uint32_t>(counters.challenges));
        access.step = Step::Challenged;
        std::memcpy(arg, &access.challenge, sizeof access.challenge);
        line.add("challenge", access.challenge);
        return session.finish(line, 0, false);
    }

    std::uint32_t answer = 0;
    std::memcpy(&answer, arg, sizeof answer);
    line.add("answer", answer);
    const bool complement = number == past_log::kComplement.number;
    if (access.step != (complement ? Step::Challenged : Step::Complemented))
        return refuse(EINVAL, "out of order", false);
    const std::uint32_t expected = complement ? ~access.challenge : ~access.challenge ^ past_log::kHandshakeKey;
    if (answer != expected)
        return refuse(EPERM, "wrong answer", false);
    if (fault.fired)
        return refuse(EPERM, "rejected", true);
    if (complement) {
        access.step = Step::Complemented;
    } else {
        access.step = Step::Idle;
        access.unlocked = true;
        line.add("unlocked", true);
    }
    return session.finish(line, 0, false);
}

std::int64_t PastLogControlFile::close()
{
    Session session = context_.session();
    JsonLine line("close");
    line.add("path", path_);
    const FaultHit fault = session.take_fault("close", kPastLogControlDevice);
    return session.finish(line, -fault.error, fault.fired);
}

PastLogFile::PastLogFile(ReaderContext& context, std::string path, int access, std::string dump)
    : context_(context), path_(std::move(path)), access_(access), dump_(std::move(dump))
{
    past_log::split(dump_, entries_);
}

std::int64_t PastLogFile::open(ReaderContext& context, const std::string& path, int flags, int fd,
                               std::unique_ptr<DeviceFile>& out)
{
    std::string dump;
    int failure = context.process_state<past_log::Access>().unlocked ? 0 : EACCES;
    if (failure == 0 && past_log::load(context.dir.path(), dump) != 0)
        failure = EIO;
    int access = 0;
    const std::int64_t result = journal_open(context, path, kPastLogDevice, flags, fd, access, failure);
    if (result >= 0)
        out.reset(new PastLogFile(context, path, access, std::move(dump)));
    return result;
}

void PastLogFile::fill_stat(struct stat& st) const { char_device_stat(st, kMiscMajor, kPastLogMinor); }

std::int64_t PastLogFile::read(void* buf, std::size_t count)
{
    Session session = context_.session();
    JsonLine line("read");
    line.add("path", path_).add("count", count);
    FaultHit fault;
    if (const auto ended = open_request(session, line, "read", kPastLogDevice, FaultEnds::Errors, fault))
        return *ended;
    if (access_ == O_WRONLY)
        return session.finish(line, -EBADF, false);
    if (next_ == entries_.size())
        return session.finish(line, 0, false);
    const std::string_view entry = entries_[next_];
    line.add("entry", next_ + 1).add("size", entry.size());
    if (entry.size() > count)
        return session.finish(line, -EINVAL, false);
    // A "short" fault hands over the first half of the entry and moves on.
    const std::size_t n = fault.fired ? entry.size() / 2 : entry.size();
    std::memcpy(buf, entry.data(), n);
    ++next_;
    return session.finish(line, static_cast<std::int64_t>(n), fault.fired);
}

std::int64_t PastLogFile::write(const void*, std::size_t count)
{
    Session session = context_.session();
    JsonLine line("write");
    line.add("path", path_).add("count", count);
    if (const auto ended = open_request(session, line, "write", kPastLogDevice, FaultEnds::Errors))
        return *ended;
    return session.finish(line, access_ == O_RDONLY ? -EBADF : -EINVAL, false);
}

std::int64_t PastLogFile::close()
{
    Session session = context_.session();
    JsonLine line("close");
    line.add("path", path_);
    const FaultHit fault = session.take_fault("close", kPastLogDevice);
    return session.finish(line, -fault.error, fault.fired);
}

}  // namespace vreader
