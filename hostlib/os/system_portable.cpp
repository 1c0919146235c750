// The system layer off Windows: named mutexes that exist within the
// process (re-entrant for their owning thread, as on Windows), a virtual
// clock that sleeps advance without waiting, and debugger output kept for
// the tests.
#include "hostlib/os/host_eject.hpp"
#include "hostlib/os/host_system.hpp"
#include "hostlib/os/portable_control.hpp"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace hostos {
namespace {

struct PortableObject {
    virtual ~PortableObject() = default;
};

struct NamedMutex {
    std::thread::id owner;
    unsigned depth = 0;
};

struct Registry {
    std::mutex lock;
    std::condition_variable changed;
    std::map<std::string, std::shared_ptr<NamedMutex>> mutexes;
    std::vector<std::string> debug;
    std::uint64_t clock = 0;
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

// A handle is a heap object: a mutex's or a thread's.
struct MutexHandle : PortableObject {
    explicit MutexHandle(std::shared_ptr<NamedMutex> named) : mutex(std::move(named)) {}
    std::shared_ptr<NamedMutex> mutex;
};

// The virtual milliseconds the calling thread has slept.
thread_local std::uint64_t t_slept = 0;

// A worker thread runs at once and to its end; the virtual time it slept
// decides whether a wait on it timed out.
struct ThreadHandle : PortableObject {
    std::thread thread;
    std::uint64_t slept = 0;
    std::uint32_t exit_code = 0;
    ~ThreadHandle() override
    {
        if (thread.joinable())
            thread.join();
    }
};

// The threads that hold a mutex for the tests, standing in for another process.
struct Holder {
    std::thread thread;
    std::mutex lock;
    std::condition_variable wake;
    bool done = false;
};
std::map<std::string, std::unique_ptr<Holder>>& holders()
{
    static std::map<std::string, std::unique_ptr<Holder>> instance;
    return instance;
}

bool acquire(NamedMutex& mutex, std::unique_lock<std::mutex>& held, std::uint32_t timeout_ms)
{
    const auto me = std::this_thread::get_id();
    auto available = [&] { return mutex.depth == 0 || mutex.owner == me; };
    if (timeout_ms == kInfinite)
        registry().changed.wait(held, available);
    else if (!registry().changed.wait_for(held, std::chrono::milliseconds(timeout_ms), available))
        return false;
    mutex.owner = me;
    ++mutex.depth;
    return true;
}

}  // namespace

bool create_mutex(const char* name)
{
    if (name == nullptr)
        return false;
    portable::create_mutex(name);
    return true;
}

Handle open_mutex(const char* name)
{
    Registry& r = registry();
    std::lock_guard held(r.lock);
    const auto found = r.mutexes.find(name);
    if (found == r.mutexes.end())
        return nullptr;
    return static_cast<PortableObject*>(new MutexHandle(found->second));
}

WaitResult wait(Handle handle, std::uint32_t timeout_ms)
{
    auto* mutex = dynamic_cast<MutexHandle*>(static_cast<PortableObject*>(handle));
    if (mutex == nullptr)
        return WaitResult::Failed;
    std::unique_lock held(registry().lock);
    return acquire(*mutex->mutex, held, timeout_ms) ? WaitResult::Signaled
                                                                              : WaitResult::TimedOut;
}

void release_mutex(Handle handle)
{
    auto* held_mutex = dynamic_cast<MutexHandle*>(static_cast<PortableObject*>(handle));
    if (held_mutex == nullptr)
        return;
    Registry& r = registry();
    std::lock_guard held(r.lock);
    NamedMutex& mutex = *held_mutex->mutex;
    if (mutex.depth == 0 || mutex.owner != std::this_thread::get_id())
        return;
    --mutex.depth;
    r.changed.notify_all();
}

void close_handle(Handle handle) { delete static_cast<PortableObject*>(handle); }

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
    return static_cast<PortableObject*>(handle);
}

WaitResult wait_thread(Handle thread, std::uint32_t timeout_ms)
{
    auto* worker = dynamic_cast<ThreadHandle*>(static_cast<PortableObject*>(thread));
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

std::wstring ansi_to_wide(std::string_view text)
{
    std::wstring wide;
    for (const char c : text)
        wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return wide;
}

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

void create_mutex(const char* name)
{
    std::lock_guard held(registry().lock);
    auto& slot = registry().mutexes[name];
    if (!slot)
        slot = std::make_shared<NamedMutex>();
}

void remove_mutexes()
{
    std::lock_guard held(registry().lock);
    registry().mutexes.clear();
}

bool hold_elsewhere(const char* name)
{
    const Handle handle = open_mutex(name);
    if (handle == nullptr)
        return false;
    auto holder = std::make_unique<Holder>();
    std::promise<bool> taken;
    std::future<bool> outcome = taken.get_future();
    Holder* h = holder.get();
    holder->thread = std::thread([h, handle, &taken] {
        const bool got = wait(handle, 0) == WaitResult::Signaled;
        taken.set_value(got);
        if (got) {
            std::unique_lock held(h->lock);
            h->wake.wait(held, [h] { return h->done; });
            release_mutex(handle);
        }
        close_handle(handle);
    });
    const bool got = outcome.get();
    if (!got) {
        holder->thread.join();
        return false;
    }
    holders()[name] = std::move(holder);
    return true;
}

void release_elsewhere(const char* name)
{
    const auto found = holders().find(name);
    if (found == holders().end())
        return;
    {
        std::lock_guard held(found->second->lock);
        found->second->done = true;
    }
    found->second->wake.notify_all();
    found->second->thread.join();
    holders().erase(found);
}

}  // namespace portable
}  // namespace hostos
