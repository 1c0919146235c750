#include "vreader/model/core/session.hpp"

#include "vreader/model/state/files.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vreader {

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
        ::flock(cache_.lock_fd.get(), LOCK_UN);
}

int Session::error()
{
    if (!cache_.lock_fd.valid() && cache_.lock_error == 0) {
        cache_.lock_fd.reset(::open(dir_.file(kLockFile).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
        if (!cache_.lock_fd.valid())
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
    while (::flock(cache_.lock_fd.get(), LOCK_EX) != 0)
        if (errno != EINTR)
            return errno;
    locked_ = true;
    return 0;
}

int Session::read_kept(const std::string& path, std::string& text)
{
    if (const int e = lock())
        return e;
    return read_file(path, text);
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

void Session::claim_at()
{
    if (!cache_.program || cache_.at_checked)
        return;
    cache_.at_checked = true;
    if (cache_.faults_file.refresh())
        parse_or_ignore(cache_.faults_file.text(), cache_.faults);
    const auto has_at = [](const Fault& fault) { return fault.at != 0; };
    if (std::none_of(cache_.faults.begin(), cache_.faults.end(), has_at) || lock() != 0)
        return;
    if (!faults_) {
        faults_.emplace();
        load_faults(*faults_);
    }
    const auto it = std::find_if(faults_->begin(), faults_->end(), has_at);
    if (it == faults_->end())
        return;
    cache_.at = *it;
    faults_->erase(it);
    // Written back at once: the next run must not find it, even if this
    // one ends before its next request. Until request N comes, the fault
    // waits in its own file, for the launcher to say if the run ends first.
    if (const int e = replace_file(dir_.file(kFaultsFile), format_faults(*faults_)))
        std::fprintf(stderr, "vreader: cannot write the faults file: %s\n", std::strerror(e));
    replace_file(dir_.file(kAtClaimedFile), format_faults({*cache_.at}));
}

void Session::spend_at()
{
    cache_.at_spent = true;
    ::unlink(dir_.file(kAtClaimedFile).c_str());
}

bool Session::at_due(std::string_view request)
{
    claim_at();
    return cache_.at && !cache_.at_spent && cache_.requests + 1 == cache_.at->at && at_fault_fits(*cache_.at, request);
}

bool Session::fault_set(std::string_view request, std::string_view device)
{
    if (cache_.faults_file.refresh())
        parse_or_ignore(cache_.faults_file.text(), cache_.faults);
    return first_fault(cache_.faults, request, device) != nullptr;
}

bool Session::fault_pending(std::string_view request, std::string_view device)
{
    if (at_due(request))
        return cache_.at->kind == FaultKind::Error;
    if (!fault_set(request, device))
        return false;
    const Fault* fault = first_fault(cache_.faults, request, device);
    return fault->skip == 0 && fault->kind == FaultKind::Error;
}

bool Session::load_locked_faults()
{
    if (faults_)
        return true;
    if (lock() != 0)
        return false;
    faults_.emplace();
    load_faults(*faults_);
    return true;
}

FaultHit Session::take_at_fault(std::string_view request)
{
    if (!at_due(request))
        return {};
    spend_at();
    const Fault& at = *cache_.at;
    return {true, at.kind, at.kind == FaultKind::Error ? at.error : 0, 0};
}

FaultHit Session::take_fault(std::string_view request, std::string_view device)
{
    if (const FaultHit at = take_at_fault(request); at.fired)
        return at;
    // Without a fault for this request there is nothing to use up, and no
    // need for the lock.
    if (!faults_ && !fault_set(request, device))
        return {};
    if (!load_locked_faults())
        return {};
    return consume_fault(*faults_, request, device, faults_dirty_);
}

void Session::let_pass(std::string_view request, std::string_view device)
{
    if ((faults_ || fault_set(request, device)) && load_locked_faults())
        pass_fault(*faults_, request, device, faults_dirty_);
}

int Session::commit()
{
    int error = 0;
    if (faults_dirty_) {
        error = replace_file(dir_.file(kFaultsFile), format_faults(*faults_));
        faults_dirty_ = false;
    }
    for (KeptState* state : kept_) {
        const int e = state->write_back();
        if (error == 0)
            error = e;
    }
    return error;
}

void Session::record(const JsonLine& line)
{
    claim_at();
    // The Nth request is journaled without having taken the "at" fault: it
    // cannot take it (an munmap, a line a model adds, "short" on a request
    // that moves no data). No later request takes it in its place.
    if (cache_.at && !cache_.at_spent && cache_.requests + 1 == cache_.at->at) {
        spend_at();
        std::fprintf(stderr, "vreader: request %llu (%s) cannot take %s: 'at %llu %s' injected nothing\n",
                     static_cast<unsigned long long>(cache_.at->at), line.request().c_str(),
                     effect_name(*cache_.at).c_str(), static_cast<unsigned long long>(cache_.at->at),
                     effect_name(*cache_.at).c_str());
    }
    ++cache_.requests;
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
