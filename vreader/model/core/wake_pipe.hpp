// Named pipes used only to wake a program that waits in poll: whoever
// changes something a waiting program must notice (a message queued for it,
// a fault set) writes a byte into the pipe, and the program polls the pipe's
// read end along with its other descriptors. The bytes carry no meaning;
// the state they announce is kept in files, so a wake-up that nobody hears
// loses nothing.
#pragma once

#include <string>

namespace vreader {

// Makes the pipe at `path` unless it exists. 0 or an errno value.
int make_wake_pipe(const std::string& path);

// The waiting side: a non-blocking descriptor that also holds the pipe open
// for writing, so it never reads as ended. Makes the pipe if needed; -1
// with errno on failure.
int open_wake_pipe(const std::string& path);

// Reads away every byte waiting in the pipe.
void drain_wake_pipe(int fd);

// The changing side: one byte into the pipe, if anybody holds it open.
// Never blocks; a missing pipe or no reader is no error.
void wake(const std::string& path);

}  // namespace vreader
