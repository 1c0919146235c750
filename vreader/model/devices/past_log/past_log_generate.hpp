// The past log a new reader has: a boot of the reader as its kernel and
// services log it, the same every time. The first twelve entries hold the
// cases a log reader trips on (see generate_log); the rest follow the boot
// from the kernel through init and the daemons to the system services.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vreader::past_log {

inline constexpr std::size_t kDefaultEntries = 300;
inline constexpr std::size_t kMaxGeneratedEntries = 100000;
// The log starts at 2014-03-17 06:42:10 UTC.
inline constexpr std::int32_t kLogStart = 1395038530;

struct GenerateOptions {
    std::size_t count = kDefaultEntries;
    // Entry `long_entry` (counted from 1; 0: none) gets a message that makes
    // it `long_size` bytes in all.
    std::size_t long_entry = 0;
    std::size_t long_size = 4609;
};

// Entries 1 to 12 (as far as `count` reaches):
//   1 kernel I, nanoseconds 0          7 init, priority 0
//   2 kernel I, nanoseconds 999999999  8 ueventd, priority 9
//   3 kernel D, nanoseconds 1000000    9 init I, empty message
//   4 kernel V, no trailing line feed 10 libc F (pid 102, tid 118)
//   5 kernel W, two trailing line feeds 11 watchdogd S
//   6 init E, no line feed            12 kernel I, a message of one line feed
// Kernel messages end with a line feed, the services' mostly do not.
std::string generate_log(const GenerateOptions& options);

}  // namespace vreader::past_log
