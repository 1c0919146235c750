// Named mutexes that exist within the process, for the library's native
// tests: re-entrant for their owning thread, as on Windows, created by the
// test as the host application would, and held from another thread as by
// a second process.
#include "hostlib/os/handle_object.hpp"
#include "hostlib/os/host_system.hpp"
#include "hostlib/os/portable_control.hpp"

#include <chrono>
#include <condition_variable>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace hostos {
namespace {

struct NamedMutex {
    std::thread::id owner;
    unsigned depth = 0;
};

struct Registry {
    std::mutex lock;
    std::condition_variable changed;
    std::map<std::string, std::shared_ptr<NamedMutex>> mutexes;
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

struct MutexHandle : HandleObject {
    explicit MutexHandle(std::shared_ptr<NamedMutex> named) : mutex(std::move(named)) {}
    std::shared_ptr<NamedMutex> mutex;
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
    return static_cast<HandleObject*>(new MutexHandle(found->second));
}

WaitResult wait(Handle handle, std::uint32_t timeout_ms)
{
    auto* mutex = dynamic_cast<MutexHandle*>(static_cast<HandleObject*>(handle));
    if (mutex == nullptr)
        return WaitResult::Failed;
    std::unique_lock held(registry().lock);
    return acquire(*mutex->mutex, held, timeout_ms) ? WaitResult::Signaled : WaitResult::TimedOut;
}

void release_mutex(Handle handle)
{
    auto* held_mutex = dynamic_cast<MutexHandle*>(static_cast<HandleObject*>(handle));
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

namespace portable {

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
