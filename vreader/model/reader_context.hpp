// A process's handle on its virtual reader: the state directory and the
// journal writer, shared by every device file the process opens.
#pragma once

#include "vreader/model/journal.hpp"
#include "vreader/model/reader_dir.hpp"
#include "vreader/model/session.hpp"

namespace vreader {

struct ReaderContext {
    explicit ReaderContext(ReaderDir reader_dir) : dir(std::move(reader_dir)), journal(dir.file(kJournalFile)) {}

    Session session() { return Session(dir, journal); }

    ReaderDir dir;
    Journal journal;
};

}  // namespace vreader
