// A file in the reader's directory that names something a running program
// holds (the PC's end of the gadget serial port, ttyGS0.pc) must go when the
// program goes, also when a signal ends it and no code of its own runs. A
// small watcher process sees to that: it waits for the program's end of a
// pipe to close (at the program's release of the port, or at its end,
// however it ends), then removes the file if it still says what the program
// wrote, under the reader's lock. Meanwhile it holds a descriptor of the
// program's, so that what the file names stays the program's (a
// pseudo-terminal's number is not given to another one) until the file is
// gone.
#pragma once

#include "vreader/model/core/host_fd.hpp"

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
};

// Starts the watcher. 0, or an errno value.
int start_holder_watch(const HolderWatch& watch, HolderWatcher& out);

// Ends the watch while the program runs on (it released what the file
// names): the watcher is told and waited for, so it leaves no zombie.
void end_holder_watch(HolderWatcher& watcher);

}  // namespace vreader
