// Holding one of the machine-wide named mutexes (fendrac.h names them):
// STATE1 and STATE2 around every command, STATE2 around the open count,
// STATE3 the application's own lock.
#pragma once

#include "hostlib/os/host_system.hpp"

namespace fendrac {

// Opens a named mutex and waits for it without limit; releases and closes
// it at release() or destruction. A mutex that does not exist, or a wait
// that fails, holds nothing: the code runs without that exclusion.
class MutexHold {
public:
    explicit MutexHold(const char* name);
    ~MutexHold() { release(); }
    MutexHold(const MutexHold&) = delete;
    MutexHold& operator=(const MutexHold&) = delete;

    void release();

private:
    hostos::Handle handle_ = nullptr;
    bool owned_ = false;
};

}  // namespace fendrac
