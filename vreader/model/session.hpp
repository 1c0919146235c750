// One transaction on a virtual reader's kept state: it holds the reader's
// lock, reads the faults and the controller state when first needed, writes
// back what changed, and appends journal lines.
#pragma once

#include "vreader/model/epdc_state.hpp"
#include "vreader/model/faults.hpp"
#include "vreader/model/journal.hpp"
#include "vreader/model/reader_dir.hpp"
#include "vreader/model/reader_lock.hpp"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace vreader {

class Session {
public:
    Session(const ReaderDir& dir, Journal& journal);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const ReaderDir& dir() const { return dir_; }

    // 0 when the lock is held; requests fail with this errno otherwise.
    int error() const { return lock_.error(); }

    // The injected fault on `request` (using it up), if one applies to the
    // node `device` ("fb0", "mmcblk2"; empty for a request of no node).
    FaultHit take_fault(std::string_view request, std::string_view device = {});

    // The controller state, or nullptr when it cannot be read.
    EpdcState* state();
    void state_changed() { state_dirty_ = true; }

    // Writes back the state and the faults if they changed. 0 or an errno.
    int commit();

    void record(const JsonLine& line);

    // Ends a request: writes back what changed, then journals `line` with
    // the result (-errno for a failure; an unwritable state turns a success
    // into EIO). Returns the result.
    std::int64_t finish(JsonLine& line, std::int64_t result, bool injected);

private:
    const ReaderDir& dir_;
    Journal& journal_;
    ReaderLock lock_;
    std::optional<std::vector<Fault>> faults_;
    bool faults_dirty_ = false;
    std::optional<EpdcState> state_;
    bool state_failed_ = false;
    bool state_dirty_ = false;
};

}  // namespace vreader
