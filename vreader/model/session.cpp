#include "vreader/model/session.hpp"

#include "vreader/model/files.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vreader {

Session::Session(const ReaderDir& dir, Journal& journal) : dir_(dir), journal_(journal), lock_(dir.file(kLockFile)) {}

FaultHit Session::take_fault(std::string_view request, std::string_view device)
{
    if (!faults_) {
        faults_.emplace();
        std::string text;
        std::string why;
        if (read_file(dir_.file(kFaultsFile), text) == 0 && !parse_faults(text, *faults_, why)) {
            std::fprintf(stderr, "vreader: ignoring the faults file: %s\n", why.c_str());
            faults_->clear();
        }
    }
    return consume_fault(*faults_, request, device, faults_dirty_);
}

EpdcState* Session::state()
{
    if (!state_ && !state_failed_) {
        std::string text;
        std::string why;
        EpdcState loaded;
        const int e = read_file(dir_.file(kStateFile), text);
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

std::int64_t Session::finish(JsonLine& line, std::int64_t result, bool injected)
{
    if (commit() != 0 && result >= 0)
        result = -EIO;
    line.set_result(result < 0 ? -1 : result, result < 0 ? static_cast<int>(-result) : 0, injected);
    record(line);
    return result;
}

void Session::record(const JsonLine& line)
{
    if (const int e = journal_.append(line); e != 0)
        std::fprintf(stderr, "vreader: cannot write the journal: %s\n", std::strerror(e));
}

}  // namespace vreader
