// The drive and lock exports.
#include "hostlib/drive.hpp"
#include "hostlib/include/fendrac.h"
#include "hostlib/named_mutex.hpp"

#include <cstdlib>
#include <memory>
#include <new>

using namespace fendrac;

namespace {

// The handle of the last MSC_LockUSBDLL, for the unlock.
hostos::Handle g_lock_handle = nullptr;

constexpr unsigned kAvailabilityOverride = 48213;

bool owns(hostos::WaitResult result)
{
    return result == hostos::WaitResult::Signaled || result == hostos::WaitResult::Abandoned;
}

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

FENDRAC_API int FENDRAC_CALL MSC_canConnect(void) { return library().current_manager != nullptr ? 1 : 0; }

FENDRAC_API int FENDRAC_CALL MSC_LockUSBDLL(void)
{
    const hostos::Handle handle = hostos::open_mutex(kState3);
    if (handle == nullptr)
        return 0;
    if (!owns(hostos::wait(handle, 0))) {
        hostos::close_handle(handle);
        return 0;
    }
    if (g_lock_handle != nullptr) {
        // Locked again by the thread that holds it: keep one hold, so that
        // one unlock frees the mutex.
        hostos::release_mutex(handle);
        hostos::close_handle(handle);
        return 1;
    }
    g_lock_handle = handle;
    return 1;
}

FENDRAC_API int FENDRAC_CALL MSC_UnlockUSBDLL(void)
{
    if (g_lock_handle != nullptr) {
        hostos::release_mutex(g_lock_handle);
        hostos::close_handle(g_lock_handle);
        g_lock_handle = nullptr;
    }
    return 1;
}

FENDRAC_API int FENDRAC_CALL MSC_checkAvailability(int code)
{
    if ((static_cast<unsigned>(code) & 0xFFFF) == kAvailabilityOverride)
        return 1;
    const hostos::Handle handle = hostos::open_mutex(kState3);
    if (handle == nullptr)
        return 0;
    const bool free = owns(hostos::wait(handle, 0));
    if (free)
        hostos::release_mutex(handle);
    hostos::close_handle(handle);
    return free ? 1 : 0;
}

#if !defined(_WIN32)
FENDRAC_API int FENDRAC_CALL MSC_CreateMutexes(void)
{
    for (const char* name : {kState1, kState2, kState3})
        if (!hostos::create_mutex(name))
            return 0;
    return 1;
}
#endif

FENDRAC_API int FENDRAC_CALL msc_TargetWin(void) { return 0; }

}  // extern "C"
