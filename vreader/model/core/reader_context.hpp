// A process's handle on its virtual reader: the state directory, the journal
// writer and the virtual clock, shared by every device file the process
// opens, and what a device keeps for the process as long as it runs.
#pragma once

#include "vreader/model/core/reader_dir.hpp"
#include "vreader/model/core/session.hpp"
#include "vreader/model/state/journal.hpp"

#include <map>
#include <memory>
#include <typeindex>

namespace vreader {

struct ReaderContext {
    explicit ReaderContext(ReaderDir reader_dir)
        : dir(std::move(reader_dir)), journal(dir.file(kJournalFile)), cache(dir)
    {
    }

    Session session() { return Session(dir, journal, cache); }

    // What a device's model keeps for the process until it ends (the
    // past-log driver's unlock handshake, held per opener): one `T` a
    // process, made on first use.
    template <class T>
    T& process_state()
    {
        std::shared_ptr<void>& slot = process_states_[std::type_index(typeid(T))];
        if (!slot)
            slot = std::make_shared<T>();
        return *static_cast<T*>(slot.get());
    }

    ReaderDir dir;
    Journal journal;
    SessionCache cache;
    std::uint64_t clock_ns = 0;      // the process's virtual time: what it has slept
    std::uint64_t input_events = 0;  // counts input a model queued, for waiting readers

private:
    std::map<std::type_index, std::shared_ptr<void>> process_states_;
};

}  // namespace vreader
