// The system services the library asks of Windows: named mutexes and waits,
// sleeps, debugger output, the process id, COM start-up, code-page
// conversion. One thin layer with two bindings: `system_windows.cpp` calls
// the real API; `system_portable.cpp` lets the library's core run natively
// (mutexes named within the process, a virtual clock).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace hostos {

// An opaque kernel object handle, as the API hands it out.
using Handle = void*;

inline Handle invalid_handle() { return reinterpret_cast<Handle>(static_cast<std::intptr_t>(-1)); }
// cppcheck-suppress constParameter ; a handle is opaque: a pointer to const is no handle
inline bool usable(Handle handle) { return handle != nullptr && handle != invalid_handle(); }

inline constexpr std::uint32_t kInfinite = 0xFFFFFFFF;

enum class WaitResult {
    Signaled,   // the caller owns the mutex now
    Abandoned,  // its owner ended without releasing it; the caller owns it now
    TimedOut,
    Failed,
};

// Whether the wait that ended with `result` left the caller owning the mutex.
inline bool owns(WaitResult result) { return result == WaitResult::Signaled || result == WaitResult::Abandoned; }

// Opens an existing named mutex with SYNCHRONIZE access; null when there
// is none (the library never creates them: the host application does).
Handle open_mutex(const char* name);
// Off Windows: makes the named mutex exist if it does not, as the host
// application's CreateMutex does on Windows; false when it cannot.
bool create_mutex(const char* name);
WaitResult wait(Handle handle, std::uint32_t timeout_ms);
void release_mutex(Handle handle);
void close_handle(Handle handle);

void sleep_ms(std::uint32_t milliseconds);

void debug_output(const char* text);
void debug_output_wide(const wchar_t* text);

std::uint32_t current_process_id();

// CoInitialize and CoUninitialize; the result is an HRESULT.
std::int32_t com_initialize();
void com_uninitialize();

// MultiByteToWideChar with the ANSI code page.
std::wstring ansi_to_wide(std::string_view text);

}  // namespace hostos
