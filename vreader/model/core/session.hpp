// One transaction on a virtual reader's kept state: it takes the reader's
// lock when it first has to (to use up a fault, to read or write a
// device's kept state, to write the journal), reads what it needs, writes back
// what changed, and appends journal lines. A request that changes nothing
// and finds no fault for it takes no lock and writes nothing, so the
// thousands of polls of a wait loop stay cheap.
#pragma once

#include "vreader/model/core/host_fd.hpp"
#include "vreader/model/core/reader_dir.hpp"
#include "vreader/model/core/watched_file.hpp"
#include "vreader/model/state/faults.hpp"
#include "vreader/model/state/journal.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace vreader {

// A device's kept state that a session writes back when it commits: read
// under the session's lock when a request first needs it, written when the
// request ends.
class KeptState {
public:
    // 0 or an errno value.
    virtual int write_back() = 0;

protected:
    ~KeptState() = default;
};

// What a process keeps from one session to the next: the lock file's
// descriptor and the faults file as last read.
class SessionCache {
public:
    explicit SessionCache(const ReaderDir& dir) : faults_file(dir.file(kFaultsFile)) {}
    SessionCache(const SessionCache&) = delete;
    SessionCache& operator=(const SessionCache&) = delete;

    HostFd lock_fd;
    int lock_error = 0;
    WatchedFile faults_file;
    std::vector<Fault> faults;  // as the faults file last read

    // A program's process takes the faults file's "at N EFFECT" fault when
    // it first uses the reader, and fires it on its Nth journaled request
    // (or the first one from there that the effect fits).
    bool program = false;
    bool at_checked = false;
    std::optional<Fault> at;
    bool at_spent = false;
    std::uint64_t requests = 0;  // journaled by this process, folded repeats included
};

class Session {
public:
    Session(const ReaderDir& dir, Journal& journal, SessionCache& cache);
    // For a one-off transaction, such as the launcher's.
    Session(const ReaderDir& dir, Journal& journal);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session();

    const ReaderDir& dir() const { return dir_; }

    // 0 while the reader's lock file can be used; requests fail with this
    // errno otherwise.
    int error();

    // The injected fault on `request` (using it up), if one applies to the
    // node `device` ("fb0", "mmcblk2"; empty for a request of no node).
    FaultHit take_fault(std::string_view request, std::string_view device = {});

    // The "at N" fault alone, for a request that no fault set by name may
    // reach (an open of a node that does not exist).
    FaultHit take_at_fault(std::string_view request);

    // Whether `request` on `device` would fail at once with an injected
    // errno: a request that would wait (a read, a poll) then fails without
    // waiting. A fault that still lets requests pass ("after N"), or whose
    // effect needs the data (short), leaves the wait as it is. Nothing is
    // used up.
    bool fault_pending(std::string_view request, std::string_view device);

    // Uses up one "after" pass of the fault on `request`, never firing it:
    // for a request that was made but is journaled only when it fails (a
    // poll that waited for real).
    void let_pass(std::string_view request, std::string_view device);

    // Writes `state` back at each commit from now until it is dropped
    // (before it goes).
    void keep(KeptState& state) { kept_.push_back(&state); }
    void drop(KeptState& state) { std::erase(kept_, &state); }

    // Writes back the faults and the kept states if they changed. 0 or the
    // first errno.
    int commit();

    void record(const JsonLine& line);
    // Writes the count of repeated lines the journal is still holding.
    void flush_journal();

    // Takes the reader's lock for the rest of the session, for a model that
    // reads and writes its own state. 0 or an errno value.
    int lock();

    // Reads the file of a device's kept state at `path` under the reader's
    // lock, which it takes. 0 or an errno value.
    int read_kept(const std::string& path, std::string& text);

    // Ends a request: writes back what changed, then journals `line` with
    // the result (-errno for a failure; an unwritable state turns a success
    // into EIO). Returns the result.
    std::int64_t finish(JsonLine& line, std::int64_t result, bool injected);

private:
    void load_faults(std::vector<Fault>& out);
    // Takes the "at" fault out of the faults file, once per process.
    void claim_at();
    // Its request came: it fired, or said why it could not.
    void spend_at();
    // Whether the "at" fault fires on `request` now: it is the Nth request
    // and can take the effect.
    bool at_due(std::string_view request);
    // Whether a fault set by name applies to `request` on `device`.
    bool fault_set(std::string_view request, std::string_view device);
    // The faults file under the lock, read once a session; false when the
    // lock cannot be had.
    bool load_locked_faults();

    const ReaderDir& dir_;
    Journal& journal_;
    std::unique_ptr<SessionCache> own_cache_;
    SessionCache& cache_;
    bool locked_ = false;
    std::optional<std::vector<Fault>> faults_;  // read under the lock
    bool faults_dirty_ = false;
    std::vector<KeptState*> kept_;
};

}  // namespace vreader
