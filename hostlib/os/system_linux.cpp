// The system layer bound to Linux. The machine-wide named mutexes are lock
// files (`lock_file_mutexes.cpp`) in the lock directory: $FENDRAC_LOCK_DIR;
// else the first of /run/lock and /tmp that every user shares (a root-owned
// sticky directory that all may write to), the same for root and for every
// other user, so that they all exclude each other; none when neither is.
// The files go straight into it: a sub-directory would be its maker's, who
// could empty or close it for the others. Debugger output goes to standard
// error when $FENDRAC_DEBUG is set. The code page is the locale's
// (`code_page_locale.cpp`).
#include "hostlib/os/handle_object.hpp"
#include "hostlib/os/host_eject.hpp"
#include "hostlib/os/host_system.hpp"
#include "hostlib/os/lock_files.hpp"

#include <unistd.h>

#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace hostos {

std::string lock_files::directory()
{
    if (const char* dir = std::getenv("FENDRAC_LOCK_DIR"); dir != nullptr && *dir != '\0')
        return dir;
    for (const char* shared : {"/run/lock", "/tmp"})
        if (lock_files::shared_by_all_users(shared))
            return shared;
    return {};
}

namespace {

struct ThreadState {
    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
};

struct ThreadHandle : HandleObject {
    std::shared_ptr<ThreadState> state = std::make_shared<ThreadState>();
    std::thread thread;
    ~ThreadHandle() override
    {
        if (!thread.joinable())
            return;
        bool done;
        {
            std::lock_guard held(state->lock);
            done = state->done;
        }
        // A worker that was given up on runs to its end on its own.
        if (done)
            thread.join();
        else
            thread.detach();
    }
};

}  // namespace

void close_handle(Handle handle) { delete static_cast<HandleObject*>(handle); }

void sleep_ms(std::uint32_t milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

Handle create_thread(ThreadRoutine routine, void* argument)
{
    auto* handle = new ThreadHandle;
    try {
        handle->thread = std::thread([state = handle->state, routine, argument] {
            routine(argument);
            std::lock_guard held(state->lock);
            state->done = true;
            state->ended.notify_all();
        });
    } catch (...) {
        delete handle;
        return nullptr;
    }
    return static_cast<HandleObject*>(handle);
}

WaitResult wait_thread(Handle thread, std::uint32_t timeout_ms)
{
    auto* worker = dynamic_cast<ThreadHandle*>(static_cast<HandleObject*>(thread));
    if (worker == nullptr)
        return WaitResult::Failed;
    ThreadState& state = *worker->state;
    std::unique_lock held(state.lock);
    const auto done = [&] { return state.done; };
    if (timeout_ms == kInfinite)
        state.ended.wait(held, done);
    else if (!state.ended.wait_for(held, std::chrono::milliseconds(timeout_ms), done))
        return WaitResult::TimedOut;
    return WaitResult::Signaled;
}

// A thread cannot be stopped safely from outside: it is left to end on its
// own, and its result is ignored.
void terminate_thread(Handle) {}

void debug_output(const char* text)
{
    static const bool wanted = std::getenv("FENDRAC_DEBUG") != nullptr;
    if (wanted && text != nullptr)
        std::fprintf(stderr, "fendrac: %s\n", text);
}

void debug_output_wide(const wchar_t* text)
{
    if (text == nullptr)
        return;
    std::string narrow;
    std::mbstate_t state{};
    for (; *text != L'\0'; ++text) {
        char bytes[MB_LEN_MAX];
        const std::size_t n = std::wcrtomb(bytes, *text, &state);
        if (n == static_cast<std::size_t>(-1)) {
            narrow += '?';
            state = {};
        } else {
            narrow.append(bytes, n);
        }
    }
    debug_output(narrow.c_str());
}

std::uint32_t current_process_id() { return static_cast<std::uint32_t>(::getpid()); }

std::int32_t com_initialize() { return 0; }
void com_uninitialize() {}

}  // namespace hostos
