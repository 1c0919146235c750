#include "vreader/model/session.hpp"

#include "vreader/model/files.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vreader {

SessionCache::~SessionCache()
{
    if (lock_fd >= 0)
        ::close(lock_fd);
}

Session::Session(const ReaderDir& dir, Journal& journal, SessionCache& cache)
    : dir_(dir), journal_(journal), cache_(cache)
{
}

Session::Session(const ReaderDir& dir, Journal& journal)
    : dir_(dir), journal_(journal), own_cache_(std::make_unique<SessionCache>(dir)), cache_(*own_cache_)
{
}

Session::~Session()
{
    if (locked_)
        ::flock(cache_.lock_fd, LOCK_UN);
}

int Session::error()
{
    if (cache_.lock_fd < 0 && cache_.lock_error == 0) {
        cache_.lock_fd = ::open(dir_.file(kLockFile).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (cache_.lock_fd < 0)
            cache_.lock_error = errno;
    }
    return cache_.lock_error;
}

int Session::lock()
{
    if (locked_)
        return 0;
    if (const int e = error())
        return e;
    while (::flock(cache_.lock_fd, LOCK_EX) != 0)
        if (errno != EINTR)
            return errno;
    locked_ = true;
    return 0;
}

namespace {

void parse_or_ignore(const std::string& text, std::vector<Fault>& out)
{
    std::string why;
    if (!parse_faults(text, out, why)) {
        std::fprintf(stderr, "vreader: ignoring the faults file: %s\n", why.c_str());
        out.clear();
    }
}

}  // namespace

void Session::load_faults(std::vector<Fault>& out)
{
    std::string text;
    out.clear();
    if (read_file(dir_.file(kFaultsFile), text) == 0)
        parse_or_ignore(text, out);
}

bool Session::fault_pending(std::string_view request, std::string_view device)
{
    if (cache_.faults_file.refresh())
        parse_or_ignore(cache_.faults_file.text(), cache_.faults);
    return std::any_of(cache_.faults.begin(), cache_.faults.end(), [&](const Fault& fault) {
        return fault.request == request && (fault.device.empty() || fault.device == device);
    });
}

FaultHit Session::take_fault(std::string_view request, std::string_view device)
{
    if (!faults_) {
        // Without a fault for this request there is nothing to use up, and
        // no need for the lock.
        if (!fault_pending(request, device) || lock() != 0)
            return {};
        faults_.emplace();
        load_faults(*faults_);
    }
    return consume_fault(*faults_, request, device, faults_dirty_);
}

EpdcState* Session::state()
{
    if (!state_ && !state_failed_) {
        std::string text;
        std::string why;
        EpdcState loaded;
        int e = lock();
        if (e == 0)
            e = read_file(dir_.file(kStateFile), text);
        if (e == 0 && parse_state(text, loaded, why)) {
            state_ = loaded;
        } else {
            std::fprintf(stderr, "vreader: cannot read %s: %s\n", dir_.file(kStateFile).c_str(),
                         e != 0 ? std::strerror(e) : why.c_str());
            state_failed_ = true;
        }
    }
    return state_ ? &*state_ : nullptr;
}

int Session::commit()
{
    int error = 0;
    if (faults_dirty_) {
        error = replace_file(dir_.file(kFaultsFile), format_faults(*faults_));
        faults_dirty_ = false;
    }
    if (state_dirty_ && state_) {
        const int e = replace_file(dir_.file(kStateFile), format_state(*state_));
        if (error == 0)
            error = e;
        state_dirty_ = false;
    }
    return error;
}

void Session::record(const JsonLine& line)
{
    if (journal_.fold(line))
        return;
    int e = lock();
    if (e == 0)
        e = journal_.append(line);
    if (e != 0)
        std::fprintf(stderr, "vreader: cannot write the journal: %s\n", std::strerror(e));
}

void Session::flush_journal()
{
    if (journal_.holding() && lock() == 0)
        journal_.flush();
}

std::int64_t Session::finish(JsonLine& line, std::int64_t result, bool injected)
{
    if (commit() != 0 && result >= 0)
        result = -EIO;
    line.set_result(result < 0 ? -1 : result, result < 0 ? static_cast<int>(-result) : 0, injected);
    record(line);
    return result;
}

}  // namespace vreader
