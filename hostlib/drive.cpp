#include "hostlib/drive.hpp"

#include "hostlib/little_endian.hpp"
#include "hostlib/named_mutex.hpp"
#include "hostlib/os/host_device.hpp"
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
    std::uint8_t reply[4] = {};
    const std::int32_t result = manager.DispatchExchange(vendor::kUnlock, field, sizeof field, reply, sizeof reply);
    return result != 0 ? result : read_le32_signed(reply);
}

std::int32_t notify_connection(CUSBCommandManager& manager, std::uint32_t connected)
{
    std::uint8_t request[4];
    write_le32(request, connected);
    std::uint8_t reply[4] = {};
    const std::int32_t result =
        manager.DispatchExchange(vendor::kConnect, request, sizeof request, reply, sizeof reply);
    return result != 0 ? result : read_le32_signed(reply);
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

// The last close, or a failed open, with the lock above held.
void close_locked()
{
    LibraryState& state = library();
    // STATE1 first, as every command takes it: the disconnect below runs a
    // command while STATE2 is held, and taking STATE2 before STATE1 here
    // could deadlock with a command of another process.
    MutexHold state1(kState1);
    MutexHold state2(kState2);
    if (state.current_manager == nullptr)
        return;
    const std::uint32_t count = state.open_count;
    if (count != 0)
        --state.open_count;
    if (count == 1) {
        CUSBCommandManager* manager = state.manager_slot;
        if (manager->locked == 0 && manager->handle_open == 1)
            notify_connection(*manager, 0);
        delete manager;
        state.manager_slot = nullptr;
        state.open_count = 0;
    }
    state.current_manager = state.manager_slot;
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
        MutexHold state2(kState2);
        if (state.manager_slot == nullptr) {
            state.manager_slot = new (std::nothrow) CUSBCommandManager();
            if (state.manager_slot == nullptr)
                return 0;
            state.open_count = 0;
        }
        ++state.open_count;
        state.current_manager = state.manager_slot;
        if (state.open_count > 1)
            return 1;
        manager = state.manager_slot;
    }

    if (!manager->set_device_path(path)) {
        close_locked();
        return 0;
    }
    if (manager->device_handle != nullptr && manager->device_handle != hostos::invalid_handle())
        hostos::close_volume(manager->device_handle);
    manager->device_handle = OpenDeviceHandle(manager->device_path.get());
    manager->handle_open = 1;
    probe_lock(*manager);

    std::int32_t result = 0;
    if (manager->locked == 0 && manager->handle_open == 1)
        result = notify_connection(*manager, 1);
    if (result < 0) {
        close_locked();
        return 0;
    }

    std::uint8_t version[8] = {};
    if (manager->DispatchRead(vendor::kProtocolVersion, version, sizeof version, 1) != 0)
        std::memset(version, 0, sizeof version);
    if (manager->property != nullptr)
        std::memcpy(manager->property->protocol_version.data(), version, sizeof version);
    return 1;
}

void close_drive()
{
    if (library().current_manager == nullptr)
        return;
    const std::lock_guard one_at_a_time(open_close_lock());
    close_locked();
}

}  // namespace fendrac
