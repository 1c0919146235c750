// A file in the reader's directory that names something a running program
// holds (the PC's end of the gadget serial port, ttyGS0.pc) must go when the
// program goes, also when a signal ends it and no code of its own runs. A
// small watcher process sees to that: it waits for the program's end of a
// pipe to close (at the program's release of the port, or at its end,
// however it ends), then removes the file if it still says what the program
// wrote, under the reader's lock. Meanwhile it holds a descriptor of the
// program's, so that what the file names stays the program's (a
// pseudo-terminal's number is not given to another one) until the file is
// gone. The program publishes the file once the watcher runs, and while it
// runs on it can take the file back itself; both under the reader's lock.
#pragma once

#include "vreader/model/core/host_fd.hpp"
#include "vreader/model/core/reader_context.hpp"

#include <sys/types.h>

#include <string>

namespace vreader {

struct HolderWatch {
    std::string lock_path;  // the reader's lock file
    std::string file_path;  // the file to remove
    std::string content;    // what it says while the program holds it
    int keep_fd = -1;       // held by the watcher until the file is gone
};

// The program's side of a watch.
struct HolderWatcher {
    HostFd holder_fd;  // the program's end of the pipe, close-on-exec
    pid_t pid = -1;    // the watcher, a child of the program
    std::string file_path;
    std::string content;
};

// Starts the watcher. 0, or an errno value.
int start_holder_watch(const HolderWatch& watch, HolderWatcher& out);

// Writes the file with its content, under the session's lock.
void publish_held_file(Session& session, const HolderWatcher& watcher);

// Takes the file back while the program runs on (it released what the file
// names): removes it under the reader's lock if it still says what the
// program wrote (another program may hold the thing now and have written
// its own), then ends the watch.
void withdraw_held_file(ReaderContext& context, HolderWatcher& watcher);

// Ends the watch while the program runs on (it released what the file
// names): the watcher is told and waited for, so it leaves no zombie.
void end_holder_watch(HolderWatcher& watcher);

}  // namespace vreader
