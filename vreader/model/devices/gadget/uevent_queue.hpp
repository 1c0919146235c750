// The kernel's uevent messages on their way to the programs' sockets, kept
// in the reader's directory so that a message sent from outside reaches a
// program that runs. As in the kernel, every socket has a receive queue of
// its own, and a message sent goes, as a copy, into the queue of each
// socket bound to the uevent group at that moment; a message that no socket
// listens to is lost, and a socket bound later gets nothing of what came
// before. uevent/sockets/PID.N/ is the queue of one socket of process PID:
// one file a message (NNN.msg, taken in order of their numbers), the named
// pipe "wake" that a message wakes, and the file "listening" while the
// socket is bound to the group. The queue of a socket whose process has
// gone is dropped at the next send.
//
// For a program yet to start, a message can be sent "at the next bind": it
// waits in uevent/at_bind/ and is sent right after a socket next binds to
// the group (at once when a socket listens already). Every message keeps its
// bytes and its boundaries exactly. Callers hold the reader's lock while
// they send, bind, or take a message.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vreader {

inline constexpr std::string_view kUeventDir = "uevent";

// Makes the spool (for a new reader, or an older one). 0 or an errno.
int create_uevent_spool(const std::string& reader_path);

// A socket's queue, made when the program opens the socket: its directory
// in `queue`. 0 or an errno value.
int open_uevent_queue(const std::string& reader_path, std::string& queue);
// Removes the queue with what it holds, as closing the socket does.
void close_uevent_queue(const std::string& queue);
// The socket joins the uevent group (and what waits for the next bind is
// sent, to every socket that listens then) or leaves it (what its queue
// holds stays). 0 or an errno value.
int set_uevent_listening(const std::string& reader_path, const std::string& queue, bool listening);
// The queue's wake-up pipe.
std::string uevent_wake_pipe(const std::string& queue);

// Sends one message: a copy into the queue of every socket that listens
// now, whose count goes to `copies`. 0 or an errno value.
int send_uevent(const std::string& reader_path, std::string_view message, std::size_t& copies);
// The same when a socket listens now; else the message waits for the next
// bind (`copies` is 0).
int send_uevent_at_bind(const std::string& reader_path, std::string_view message, std::size_t& copies);

// Whether a message waits in the queue; cheap, needs no lock.
bool uevent_waiting(const std::string& queue);
// How many messages wait in the queue.
std::size_t uevents_waiting(const std::string& queue);

// Takes the queue's oldest message (removing it unless `peek`). ENOENT when
// none waits, else 0 or an errno value.
int take_uevent(const std::string& queue, std::string& message, bool peek = false);

// A message for the journal: printable ASCII as it is, a NUL as "\0", a
// backslash doubled, any other byte as "\xHH".
std::string escape_uevent(std::string_view message);

}  // namespace vreader
