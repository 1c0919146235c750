// How the run meets an interrupt (SIGINT, SIGTERM, SIGHUP; on Windows the
// console's Ctrl-C, Ctrl-Break and close) and a closed output pipe, so that
// every way it ends closes the reader drive and says why.
//
// A closed pipe (SIGPIPE) is ignored: the write fails and the command ends
// as for any unwritable output. While no drive is open an interrupt ends
// the run at once: nothing is half done. While the drive is open, or
// opening, the first interrupt is noted and said: the library call in
// progress finishes (it cannot be stopped halfway without leaving the
// reader in the middle of a command), a read or write of the PC's side
// that waits (a pipe, a FIFO, a terminal) returns at once (pc_io.hpp), the
// command stops at its next step, and the drive is closed as always. A
// second interrupt ends the run at once, saying that the reader may still
// count the PC as connected.
//
// The status of a run that an interrupt ended is the shells' for a program
// a signal ended: 128 + the signal (130 SIGINT, 143 SIGTERM, 129 SIGHUP;
// on Windows 130 for Ctrl-C and Ctrl-Break, 129 for a closed console, a
// logoff or a shutdown).
#pragma once

namespace tool {

// Installs the handlers; once, at the start of the run.
void watch_interrupts(bool json);

// Whether the drive is open (or being opened): interrupts are then noted.
void set_drive_in_use(bool in_use);

// Whether an interrupt came while the drive was in use.
bool interrupted();
// The status the run ends with for the first interrupt noted.
int interrupted_status();

#if defined(_WIN32)
// An event (a HANDLE) that is set once an interrupt is noted; never reset.
void* interrupt_event();
#else
// A descriptor that becomes readable once an interrupt is noted and stays
// so, for poll() beside a descriptor of the PC's side; -1 before
// watch_interrupts.
int interrupt_descriptor();
#endif

// Whether standard error ends in an unfinished line (a progress line), so
// that a message starts on a line of its own.
void set_line_open(bool open);
// Ends an unfinished line on standard error, if there is one.
void close_open_line();

}  // namespace tool
