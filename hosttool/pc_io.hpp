// Reads and writes of the PC's side: the descriptors of PC files, of
// standard input and output, of FIFOs, pipes and terminals. A read or write
// that would wait (for a pipe's other end, for a person at a terminal)
// returns as soon as an interrupt is noted (interrupts.hpp), so that a
// transfer can stop between two pieces however its PC side stalls.
// Failures come with the system's own text.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace tool {

// Reads at most buffer.size() bytes (fewer from a pipe or a terminal): the
// count, 0 at the end, or -1 with `error` set. Once an interrupt is noted
// it reads nothing and fails with "interrupted".
long long read_some(int descriptor, std::span<unsigned char> buffer, std::string& error);

// Writes every byte; false with `error` set, "interrupted" once an
// interrupt is noted.
bool write_all(int descriptor, std::span<const unsigned char> bytes, std::string& error);

// The run's own lines on standard output (an outcome, JSON, help): every
// byte, in the stream's text mode, not stopped by an interrupt, since the
// outcome of an interrupted command is said there too. False with `error`.
bool write_output(std::string_view text, std::string& error);

// The system's text for a C library error (errno), and on Windows for a
// system error (GetLastError).
std::string errno_text(int error);
#if defined(_WIN32)
std::string windows_text(unsigned long code);
#endif

}  // namespace tool
