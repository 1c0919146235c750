// The system layer bound to the Windows API.
#include "hostlib/os/host_eject.hpp"
#include "hostlib/os/host_system.hpp"

#include <windows.h>
#include <objbase.h>

#include <new>

namespace hostos {

Handle open_mutex(const char* name) { return OpenMutexA(SYNCHRONIZE, FALSE, name); }

WaitResult wait(Handle handle, std::uint32_t timeout_ms)
{
    switch (WaitForSingleObject(handle, timeout_ms)) {
    case WAIT_OBJECT_0:
        return WaitResult::Signaled;
    case WAIT_ABANDONED:
        return WaitResult::Abandoned;
    case WAIT_TIMEOUT:
        return WaitResult::TimedOut;
    default:
        return WaitResult::Failed;
    }
}

void release_mutex(Handle handle) { ReleaseMutex(handle); }
void close_handle(Handle handle) { CloseHandle(handle); }
void sleep_ms(std::uint32_t milliseconds) { Sleep(milliseconds); }
void debug_output(const char* text) { OutputDebugStringA(text); }
void debug_output_wide(const wchar_t* text) { OutputDebugStringW(text); }
std::uint32_t current_process_id() { return GetCurrentProcessId(); }
std::int32_t com_initialize() { return CoInitialize(nullptr); }
void com_uninitialize() { CoUninitialize(); }

namespace {

// CreateThread calls its routine with the system's calling convention.
struct ThreadStart {
    ThreadRoutine routine;
    void* argument;
};

DWORD WINAPI thread_entry(LPVOID parameter)
{
    const ThreadStart start = *static_cast<ThreadStart*>(parameter);
    delete static_cast<ThreadStart*>(parameter);
    return start.routine(start.argument);
}

}  // namespace

Handle create_thread(ThreadRoutine routine, void* argument)
{
    auto* start = new (std::nothrow) ThreadStart{routine, argument};
    if (start == nullptr)
        return nullptr;
    const HANDLE thread = CreateThread(nullptr, 0, thread_entry, start, 0, nullptr);
    if (thread == nullptr)
        delete start;
    return thread;
}

WaitResult wait_thread(Handle thread, std::uint32_t timeout_ms) { return wait(thread, timeout_ms); }

void terminate_thread(Handle thread) { TerminateThread(thread, 0); }

std::wstring ansi_to_wide(std::string_view text)
{
    if (text.empty())
        return {};
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0)
        return {};
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

}  // namespace hostos
