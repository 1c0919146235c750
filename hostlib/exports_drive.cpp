// The drive and lock exports.
#include "hostlib/drive.hpp"
#include "hostlib/include/fendrac.h"
#include "hostlib/named_mutex.hpp"
#include "hostlib/os/host_system.hpp"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>

using namespace fendrac;

namespace {

// The handle of the last MSC_LockUSBDLL, for the unlock, and which lock it
// was: a thread holds the lock when its own token is the current one. A
// token, not a thread id, since an id may return with a new thread.
struct ApplicationLock {
    std::mutex guard;
    hostos::Handle handle = nullptr;
    std::uint64_t token = 0;
    std::uint64_t last_token = 0;
};
ApplicationLock& application_lock()
{
    static ApplicationLock lock;
    return lock;
}
thread_local std::uint64_t t_lock_token = 0;

constexpr unsigned kAvailabilityOverride = 48213;

}  // namespace

extern "C" {

FENDRAC_API int FENDRAC_CALL MSC_OpenDriveW(const wchar_t* path)
{
    if (path == nullptr)
        return 0;
    return open_drive(path);
}

FENDRAC_API int FENDRAC_CALL MSC_OpenDrive(const wchar_t* path) { return MSC_OpenDriveW(path); }

FENDRAC_API int FENDRAC_CALL MSC_OpenDriveA(const char* path)
{
    if (path == nullptr)
        return 0;
    const std::size_t length = std::mbstowcs(nullptr, path, 0);
    if (length == static_cast<std::size_t>(-1))
        return 0;
    std::unique_ptr<wchar_t[]> wide(new (std::nothrow) wchar_t[length + 1]);
    if (!wide)
        return 0;
    std::mbstowcs(wide.get(), path, length + 1);
    return open_drive(wide.get());
}

FENDRAC_API void FENDRAC_CALL MSC_CloseDrive(void) { close_drive(); }

FENDRAC_API int FENDRAC_CALL MSC_canConnect(void)
{
    const DriveHold drive;
    return drive ? 1 : 0;
}

FENDRAC_API int FENDRAC_CALL MSC_LockUSBDLL(void)
{
    const hostos::Handle handle = hostos::open_mutex(FENDRAC_MUTEX_STATE3);
    if (handle == nullptr)
        return 0;
    if (!hostos::owns(hostos::wait(handle, 0))) {
        hostos::close_handle(handle);
        return 0;
    }
    ApplicationLock& lock = application_lock();
    const std::lock_guard held(lock.guard);
    if (lock.handle != nullptr && lock.token == t_lock_token) {
        // Locked again by the thread that holds it: keep one hold, so that
        // one unlock frees the mutex.
        hostos::release_mutex(handle);
        hostos::close_handle(handle);
        return 1;
    }
    // A handle kept for another thread is left from a holder that ended
    // without unlocking: the mutex came to this thread abandoned.
    if (lock.handle != nullptr)
        hostos::close_handle(lock.handle);
    lock.handle = handle;
    lock.token = ++lock.last_token;
    t_lock_token = lock.token;
    return 1;
}

FENDRAC_API int FENDRAC_CALL MSC_UnlockUSBDLL(void)
{
    ApplicationLock& lock = application_lock();
    const std::lock_guard held(lock.guard);
    if (lock.handle != nullptr) {
        hostos::release_mutex(lock.handle);
        hostos::close_handle(lock.handle);
        lock.handle = nullptr;
        lock.token = 0;
    }
    return 1;
}

FENDRAC_API int FENDRAC_CALL MSC_checkAvailability(int code)
{
    if ((static_cast<unsigned>(code) & 0xFFFF) == kAvailabilityOverride)
        return 1;
    const hostos::Handle handle = hostos::open_mutex(FENDRAC_MUTEX_STATE3);
    if (handle == nullptr)
        return 0;
    const bool free = hostos::owns(hostos::wait(handle, 0));
    if (free)
        hostos::release_mutex(handle);
    hostos::close_handle(handle);
    return free ? 1 : 0;
}

#if !defined(_WIN32)
FENDRAC_API int FENDRAC_CALL MSC_CreateMutexes(void)
{
    for (const char* name : {FENDRAC_MUTEX_STATE1, FENDRAC_MUTEX_STATE2, FENDRAC_MUTEX_STATE3})
        if (!hostos::create_mutex(name))
            return 0;
    return 1;
}
#endif

FENDRAC_API int FENDRAC_CALL msc_TargetWin(void) { return 0; }

}  // extern "C"
