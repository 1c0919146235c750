// A process's handle on its virtual reader: the state directory, the journal
// writer and the virtual clock, shared by every device file the process
// opens.
#pragma once

#include "vreader/model/state/journal.hpp"
#include "vreader/model/devices/past_log/past_log_requests.hpp"
#include "vreader/model/core/reader_dir.hpp"
#include "vreader/model/core/session.hpp"

namespace vreader {

struct ReaderContext {
    explicit ReaderContext(ReaderDir reader_dir)
        : dir(std::move(reader_dir)), journal(dir.file(kJournalFile)), cache(dir)
    {
    }

    Session session() { return Session(dir, journal, cache); }

    ReaderDir dir;
    Journal journal;
    SessionCache cache;
    std::uint64_t clock_ns = 0;      // the process's virtual time: what it has slept
    std::uint64_t input_events = 0;  // counts input a model queued, for waiting readers
    past_log::Access past_log;       // the past-log driver's unlock handshake
};

}  // namespace vreader
