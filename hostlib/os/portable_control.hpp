// What a native test (or the virtual reader's native library) can see and
// set of the portable system binding: the virtual clock, the debugger
// output, and the named mutexes that a host application would create.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hostos::portable {

// Milliseconds slept since the process started (or the last reset).
std::uint64_t clock_ms();
void reset_clock();

// Lines written to the debugger output, in order.
std::vector<std::string> debug_lines();
void clear_debug_lines();

// Makes the named mutex exist, as CreateMutex by the host application
// does; removes every one again. These and the two below are the mutexes
// within the process (`mutexes_portable.cpp`) of the native tests.
void create_mutex(const char* name);
void remove_mutexes();

// Holds a named mutex from another thread until released, like a second
// process would (false when it does not exist or is owned elsewhere).
bool hold_elsewhere(const char* name);
void release_elsewhere(const char* name);

}  // namespace hostos::portable
