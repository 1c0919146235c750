// The system layer off Windows, for the native tests and the virtual
// reader's native library: a virtual clock that sleeps advance without
// waiting, worker threads that run to their end at once, and debugger
// output kept for the tests. The code page is the locale's, as on Linux
// (`code_page_locale.cpp`). The named mutexes come from another file:
// within the process for the tests (`mutexes_portable.cpp`), lock files for
// the virtual library (`lock_file_mutexes.cpp`).
#include "hostlib/os/handle_object.hpp"
#include "hostlib/os/host_eject.hpp"
#include "hostlib/os/host_system.hpp"
#include "hostlib/os/portable_control.hpp"

#include <unistd.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace hostos {
namespace {

struct Registry {
    std::mutex lock;
    std::vector<std::string> debug;
    std::uint64_t clock = 0;
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

// The virtual milliseconds the calling thread has slept.
thread_local std::uint64_t t_slept = 0;

// A worker thread runs at once and to its end; the virtual time it slept
// decides whether a wait on it timed out.
struct ThreadHandle : HandleObject {
    std::thread thread;
    std::uint64_t slept = 0;
    std::uint32_t exit_code = 0;
    ~ThreadHandle() override
    {
        if (thread.joinable())
            thread.join();
    }
};

}  // namespace

void close_handle(Handle handle) { delete static_cast<HandleObject*>(handle); }

void sleep_ms(std::uint32_t milliseconds)
{
    t_slept += milliseconds;
    std::lock_guard held(registry().lock);
    registry().clock += milliseconds;
}

Handle create_thread(ThreadRoutine routine, void* argument)
{
    auto* handle = new ThreadHandle;
    handle->thread = std::thread([handle, routine, argument] {
        t_slept = 0;
        handle->exit_code = routine(argument);
        handle->slept = t_slept;
    });
    return static_cast<HandleObject*>(handle);
}

WaitResult wait_thread(Handle thread, std::uint32_t timeout_ms)
{
    auto* worker = dynamic_cast<ThreadHandle*>(static_cast<HandleObject*>(thread));
    if (worker == nullptr)
        return WaitResult::Failed;
    if (worker->thread.joinable())
        worker->thread.join();
    return timeout_ms != kInfinite && worker->slept > timeout_ms ? WaitResult::TimedOut : WaitResult::Signaled;
}

// The worker has already run to its end: stopping it changes nothing that
// a caller could see, its result being ignored after a time-out.
void terminate_thread(Handle) {}

void debug_output(const char* text)
{
    std::lock_guard held(registry().lock);
    registry().debug.emplace_back(text);
}

void debug_output_wide(const wchar_t* text)
{
    std::string narrow;
    for (; *text != L'\0'; ++text)
        narrow += *text < 0x80 ? static_cast<char>(*text) : '?';
    debug_output(narrow.c_str());
}

std::uint32_t current_process_id() { return static_cast<std::uint32_t>(::getpid()); }

std::int32_t com_initialize() { return 0; }
void com_uninitialize() {}

namespace portable {

std::uint64_t clock_ms()
{
    std::lock_guard held(registry().lock);
    return registry().clock;
}

void reset_clock()
{
    std::lock_guard held(registry().lock);
    registry().clock = 0;
}

std::vector<std::string> debug_lines()
{
    std::lock_guard held(registry().lock);
    return registry().debug;
}

void clear_debug_lines()
{
    std::lock_guard held(registry().lock);
    registry().debug.clear();
}

}  // namespace portable
}  // namespace hostos
