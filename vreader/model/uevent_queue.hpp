// The kernel's uevent messages waiting for a program, kept in the reader's
// directory so that they can be queued before a program runs and sent to one
// that already runs: uevent/ holds one file a message (NNN.msg, taken in
// order of their numbers) and the named pipe uevent/wake, which a queued
// message wakes. Every message keeps its bytes and its boundaries exactly.
// Callers hold the reader's lock while they queue or take one.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vreader {

inline constexpr std::string_view kUeventDir = "uevent";
inline constexpr std::string_view kUeventWake = "uevent/wake";

// Makes the spool and its pipe (for a new reader, or an older one). 0 or an errno.
int create_uevent_spool(const std::string& reader_path);

// Queues one message and wakes whoever waits. 0 or an errno value.
int queue_uevent(const std::string& reader_path, std::string_view message);

// Whether a message waits; cheap, needs no lock.
bool uevent_waiting(const std::string& reader_path);

// Takes the oldest message (removing it unless `peek`). ENOENT when none
// waits, else 0 or an errno value.
int take_uevent(const std::string& reader_path, std::string& message, bool peek = false);

// How many messages wait.
std::size_t uevents_waiting(const std::string& reader_path);

// A message for the journal: printable ASCII as it is, a NUL as "\0", a
// backslash doubled, any other byte as "\xHH".
std::string escape_uevent(std::string_view message);

}  // namespace vreader
