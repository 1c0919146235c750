#include "hostlib/drive.hpp"

#include "hostlib/include/fendrac.h"
#include "hostlib/little_endian.hpp"
#include "hostlib/named_mutex.hpp"
#include "hostlib/os/host_device.hpp"
#include "hostlib/result_exchange.hpp"
#include "hostlib/results.hpp"
#include "protocol/vendor_records.hpp"

#include <cstring>
#include <mutex>
#include <new>

namespace fendrac {
namespace {

constexpr int kUnlockProbeAttempts = 150;
constexpr std::uint32_t kUnlockProbePause = 200;

}  // namespace

std::int32_t unlock_device(CUSBCommandManager& manager, const char* code)
{
    char field[vendor::kUnlockCodeSize] = {};
    if (code != nullptr)
        std::strncpy(field, code, sizeof field - 1);
    return reader_result(manager, vendor::kUnlock, field, sizeof field);
}

std::int32_t notify_connection(CUSBCommandManager& manager, std::uint32_t connected)
{
    std::uint8_t request[4];
    write_le32(request, connected);
    return reader_result(manager, vendor::kConnect, request, sizeof request);
}

namespace {

// Opens and closes of this process, one at a time: a second open waits
// until the first has probed and connected the reader, so that its 1 means
// an open drive. Taken before the command mutexes, never after them.
std::mutex& open_close_lock()
{
    static std::mutex lock;
    return lock;
}

// Makes `manager` the one the exports find, once its open has finished.
void publish(CUSBCommandManager* manager)
{
    LibraryState& state = library();
    const std::lock_guard held(state.holds_lock);
    state.current_manager = manager;
}

// Takes the manager away from the exports, then waits until none holds it.
void withdraw()
{
    LibraryState& state = library();
    std::unique_lock held(state.holds_lock);
    state.current_manager = nullptr;
    state.holds_ended.wait(held, [&state] { return state.holds == 0; });
}

// The last close, or a failed open, with the lock above held.
void close_locked()
{
    LibraryState& state = library();
    CUSBCommandManager* const manager = state.manager_slot;
    if (manager == nullptr)
        return;
    if (state.open_count > 1) {
        --state.open_count;
        return;
    }
    state.manager_slot = nullptr;
    state.open_count = 0;
    // The commands that hold the manager end first; they need the command
    // mutexes, so these are not taken before.
    withdraw();
    // STATE1 first, as every command takes it: the disconnect below runs a
    // command while STATE2 is held, and taking STATE2 before STATE1 here
    // could deadlock with a command of another process.
    MutexHold state1(FENDRAC_MUTEX_STATE1);
    MutexHold state2(FENDRAC_MUTEX_STATE2);
    if (manager->locked == 0 && manager->handle_open == 1)
        notify_connection(*manager, 0);
    delete manager;
}

// Whether the reader is locked; it may take a while to answer at all.
void probe_lock(CUSBCommandManager& manager)
{
    for (int attempt = 1; attempt <= kUnlockProbeAttempts; ++attempt) {
        const std::int32_t probe = unlock_device(manager, "-1");
        if (probe == kReplyFailed) {
            if (attempt < kUnlockProbeAttempts)
                hostos::sleep_ms(kUnlockProbePause);
            continue;
        }
        if (probe == kReaderLocked)
            manager.locked = 1;
        break;
    }
}

}  // namespace

std::int32_t open_drive(const wchar_t* path)
{
    LibraryState& state = library();
    const std::lock_guard one_at_a_time(open_close_lock());
    CUSBCommandManager* manager = nullptr;
    {
        MutexHold state2(FENDRAC_MUTEX_STATE2);
        if (state.manager_slot == nullptr) {
            state.manager_slot = new (std::nothrow) CUSBCommandManager();
            if (state.manager_slot == nullptr)
                return 0;
            state.open_count = 0;
        }
        ++state.open_count;
        if (state.open_count > 1)
            return 1;
        manager = state.manager_slot;
    }
    // The exports find the manager once the open below has finished: until
    // then no command of theirs meets a drive half open.

    if (!manager->set_device_path(path)) {
        close_locked();
        return 0;
    }
    if (hostos::usable(manager->device_handle))
        hostos::close_volume(manager->device_handle);
    manager->device_handle = OpenDeviceHandle(manager->device_path.get());
    manager->handle_open = 1;
    probe_lock(*manager);

    std::int32_t result = kOk;
    if (manager->locked == 0 && manager->handle_open == 1)
        result = notify_connection(*manager, 1);
    if (result < 0) {
        close_locked();
        return 0;
    }

    std::uint8_t version[8] = {};
    if (manager->DispatchRead(vendor::kProtocolVersion, version, sizeof version, 1) != kOk)
        std::memset(version, 0, sizeof version);
    if (manager->property != nullptr)
        std::memcpy(manager->property->protocol_version.data(), version, sizeof version);
    publish(manager);
    return 1;
}

DriveHold::DriveHold()
{
    LibraryState& state = library();
    const std::lock_guard held(state.holds_lock);
    manager_ = state.current_manager;
    if (manager_ != nullptr)
        ++state.holds;
}

DriveHold::~DriveHold()
{
    if (manager_ == nullptr)
        return;
    LibraryState& state = library();
    const std::lock_guard held(state.holds_lock);
    if (--state.holds == 0)
        state.holds_ended.notify_all();
}

void close_drive()
{
    if (library().current_manager == nullptr)
        return;
    const std::lock_guard one_at_a_time(open_close_lock());
    close_locked();
}

}  // namespace fendrac
