// How the run meets an interrupt (SIGINT, SIGTERM, SIGHUP; on Windows the
// console's Ctrl-C, Ctrl-Break and close) and a closed output pipe, so that
// every way it ends closes the reader drive and says why.
//
// A closed pipe (SIGPIPE) is ignored: the write fails and the command ends
// as for any unwritable output. While no drive is open an interrupt ends
// the run at once (status 130): nothing is half done. While the drive is
// open, or opening, the first interrupt is noted and said: the library
// call in progress finishes (it cannot be stopped halfway without leaving
// the reader in the middle of a command), the command stops at its next
// step, and the drive is closed as always. A second interrupt ends the run
// at once, saying that the reader may still count the PC as connected.
#pragma once

namespace tool {

// The status of a run that an interrupt ended, as a shell reports SIGINT.
inline constexpr int kInterruptedStatus = 130;

// Installs the handlers; once, at the start of the run.
void watch_interrupts(bool json);

// Whether the drive is open (or being opened): interrupts are then noted.
void set_drive_in_use(bool in_use);

// Whether an interrupt came while the drive was in use.
bool interrupted();

// Whether standard error ends in an unfinished line (a progress line), so
// that a message starts on a line of its own.
void set_line_open(bool open);
// Ends an unfinished line on standard error, if there is one.
void close_open_line();

}  // namespace tool
