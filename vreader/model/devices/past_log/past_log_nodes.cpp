#include "vreader/model/devices/past_log/past_log_nodes.hpp"

#include "vreader/model/core/node_open.hpp"
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
        out.reset(new PastLogControlFile(context, path, access));
    return result;
}

void PastLogControlFile::fill_stat(struct stat& st) const { char_device_stat(st, kMiscMajor, kPastLogControlMinor); }

std::int64_t PastLogControlFile::ioctl(unsigned long number, void* arg)
{
    // The kernel passes request numbers as 32-bit values.
    const auto code = static_cast<std::uint32_t>(number);
    const past_log::Request* known = find_request(code);
    if (known == nullptr) {
        DeviceRequest unknown = node_request("unknown");
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08X", code);
        unknown.line().add("number", hex);
        if (const auto ended = unknown.start_unfaulted())
            return *ended;
        return unknown.finish(-ENOTTY);
    }
    DeviceRequest asked = node_request(known->name);
    if (const auto ended = asked.start(FaultEnds::None))
        return *ended;
    if (code == past_log::kFlush.number) {
        if (asked.fault().fired)
            return asked.finish_injected();
        return flush(asked, arg);
    }
    return handshake(asked, code, arg);
}

std::int64_t PastLogControlFile::flush(DeviceRequest& asked, void* arg)
{
    asked.line().add("arg", reinterpret_cast<std::uintptr_t>(arg));
    if (const int e = asked.lock_reader())
        return asked.finish(-e);
    past_log::Counters counters;
    if (past_log::load_counters(context_.dir.path(), counters) != 0)
        return asked.finish(-EIO);
    ++counters.flushes;
    if (const int e = past_log::save_counters(context_.dir.path(), counters))
        return asked.finish(-e);
    asked.line().add("flushes", counters.flushes);
    return asked.finish(0);
}

std::int64_t PastLogControlFile::handshake(DeviceRequest& step, std::uint32_t number, void* arg)
{
    using Step = past_log::Access::Step;
    past_log::Access& access = context_.process_state<past_log::Access>();
    const FaultHit& fault = step.fault();
    // Whatever fails, the next handshake starts from a new challenge.
    const auto refuse = [&](int error, std::string_view why, bool injected) {
        access.step = Step::Idle;
        if (!why.empty())
            step.line().add("refused", why);
        return step.finish(-error, injected);
    };
    if (fault.fired && fault.kind == FaultKind::Error)
        return refuse(fault.error, {}, true);
    if (arg == nullptr)
        return refuse(EFAULT, "no argument", false);

    if (number == past_log::kChallenge.number) {
        if (const int e = step.lock_reader())
            return refuse(e, {}, false);
        past_log::Counters counters;
        if (past_log::load_counters(context_.dir.path(), counters) != 0)
            return refuse(EIO, "state unreadable", false);
        ++counters.challenges;
        if (const int e = past_log::save_counters(context_.dir.path(), counters))
            return refuse(e, "state unwritable", false);
        access.challenge = scramble(static_cast<std::uint32_t>(counters.challenges));
        access.step = Step::Challenged;
        std::memcpy(arg, &access.challenge, sizeof access.challenge);
        step.line().add("challenge", access.challenge);
        return step.finish(0);
    }

    std::uint32_t answer = 0;
    std::memcpy(&answer, arg, sizeof answer);
    step.line().add("answer", answer);
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
        step.line().add("unlocked", true);
    }
    return step.finish(0);
}

PastLogFile::PastLogFile(ReaderContext& context, std::string path, int access, std::string dump)
    : NodeFile(context, std::move(path), kPastLogDevice, access), dump_(std::move(dump))
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
    DeviceRequest read = node_request("read");
    read.line().add("path", path_).add("count", count);
    if (const auto ended = read.start(FaultEnds::Errors))
        return *ended;
    if (access_ == O_WRONLY)
        return read.finish(-EBADF);
    if (next_ == entries_.size())
        return read.finish(0);
    const std::string_view entry = entries_[next_];
    read.line().add("entry", next_ + 1).add("size", entry.size());
    if (entry.size() > count)
        return read.finish(-EINVAL);
    // A "short" fault hands over the first half of the entry and moves on.
    const bool short_read = read.fault().fired;
    const std::size_t n = short_read ? entry.size() / 2 : entry.size();
    std::memcpy(buf, entry.data(), n);
    ++next_;
    return read.finish(static_cast<std::int64_t>(n), short_read);
}

std::int64_t PastLogFile::write(const void*, std::size_t count)
{
    DeviceRequest write = node_request("write");
    write.line().add("path", path_).add("count", count);
    if (const auto ended = write.start(FaultEnds::Errors))
        return *ended;
    return write.finish(access_ == O_RDONLY ? -EBADF : -EINVAL);
}

}  // namespace vreader
