// What `vreader run` says when the program ended with faults set for it
// still unfired: an "at N" fault whose request N never came, and each
// counted fault (not 'always') that was set when the run started and still
// has firings left when it ends. The faults stay as they are; a counted
// fault left over is said again after every run it outlives.
#pragma once

#include "vreader/model/core/reader_dir.hpp"
#include "vreader/model/state/faults.hpp"

#include <optional>
#include <vector>

namespace vreader::cli {

struct PendingFaults {
    std::optional<Fault> at;
    std::vector<Fault> counted;
    bool empty() const { return !at && counted.empty(); }
};

// The faults the next run is to fire. Forgets what an earlier program left
// of an "at" fault, so that the run's own says whether it was reached.
PendingFaults pending_faults(const ReaderDir& reader);

// One line on standard error for each of `pending` that the run left unfired.
void report_unfired(const ReaderDir& reader, const PendingFaults& pending);

}  // namespace vreader::cli
