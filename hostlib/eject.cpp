// Media eject: the reader is told that the host disconnects, then a worker
// thread locks the volume, finds the disk behind it among the disk
// interfaces, walks up to the removable device that carries it and asks
// for that device's eject. A failed or hung eject reopens the volume and
// tells the reader that the host is back.
#include "hostlib/drive.hpp"
#include "hostlib/include/fendrac.h"
#include "hostlib/os/host_device.hpp"
#include "hostlib/os/host_eject.hpp"

#include <atomic>
#include <memory>
#include <mutex>
#include <new>

using namespace fendrac;

namespace {

constexpr std::uint32_t kEjectLimitMs = 60000;
constexpr std::uint32_t kDeviceIdLength = 200;

// One eject's state, shared by the caller and its worker, and freed by
// whichever of them lets go last (a worker stopped at the time limit
// never does: its few bytes stay): a worker that was given up on may still
// be running while the next eject starts, and must not reach that one's
// volume.
struct EjectRun {
    std::atomic<int> users{2};
    // Written by the worker, read by the caller after the wait.
    std::atomic<std::int32_t> ejected{0};
    // The volume handle while it is open: whoever takes it closes it, the
    // worker when it is done with it, or the caller after stopping a worker
    // that never got that far.
    std::atomic<hostos::Handle> volume{nullptr};

    void close_volume_once()
    {
        if (const hostos::Handle handle = volume.exchange(nullptr); hostos::usable(handle))
            hostos::close_volume(handle);
    }
    void let_go()
    {
        if (--users == 0)
            delete this;
    }
};

// The ejects of this process, one at a time: each takes the manager's
// handle away and puts one back.
std::mutex& eject_lock()
{
    static std::mutex lock;
    return lock;
}

bool storage_number(hostos::Handle handle, hostos::StorageDeviceNumber& number)
{
    std::uint32_t returned = 0;
    return hostos::device_io_control(handle, hostos::kIoctlStorageGetDeviceNumber, nullptr, 0, &number, sizeof number,
                                     returned);
}

// Whether disk interface `data` is the disk with device number `wanted`;
// its node in `disk` when it is.
bool is_the_disk(hostos::Handle list, hostos::InterfaceData& data, std::uint32_t wanted, hostos::DeviceInstance& disk)
{
    const std::uint32_t size = hostos::interface_detail_size(list, data);
    if (size == 0)
        return false;
    auto* detail = static_cast<std::uint8_t*>(hostos::heap_alloc_zeroed(size));
    if (detail == nullptr)
        return false;
    const std::uint32_t size_field = hostos::kDetailSizeField;
    for (int i = 0; i < 4; ++i)
        detail[i] = static_cast<std::uint8_t>(size_field >> (8 * i));
    bool match = false;
    hostos::DeviceInstance device = 0;
    if (hostos::interface_detail(list, data, detail, size, device)) {
        const auto* path = reinterpret_cast<const wchar_t*>(detail + hostos::kDetailPathOffset);
        const hostos::Handle handle = hostos::open_interface(path);
        if (handle != hostos::invalid_handle()) {
            hostos::StorageDeviceNumber number{};
            match = storage_number(handle, number) && number.DeviceNumber == wanted;
            hostos::close_volume(handle);
        }
    }
    hostos::heap_free(detail);
    if (match)
        disk = device;
    return match;
}

bool find_disk(std::uint32_t wanted, hostos::DeviceInstance& disk)
{
    const hostos::Handle list = hostos::disk_interface_list();
    if (list == hostos::invalid_handle())
        return false;
    bool found = false;
    hostos::InterfaceData data{};
    for (std::uint32_t index = 0; !found && hostos::enum_disk_interface(list, index, data); ++index)
        found = is_the_disk(list, data, wanted, disk);
    hostos::destroy_interface_list(list);
    return found;
}

bool removable_ancestor(hostos::DeviceInstance device, hostos::DeviceInstance& removable)
{
    for (;;) {
        hostos::DeviceInstance parent = 0;
        std::uint32_t status = 0;
        std::uint32_t problem = 0;
        if (!hostos::parent_of(device, parent) || !hostos::devnode_status(parent, status, problem))
            return false;
        if ((status & hostos::kDnRemovable) != 0) {
            removable = parent;
            return true;
        }
        device = parent;
    }
}

std::uint32_t eject_worker(void* argument)
{
    struct LetGo {
        void operator()(EjectRun* run) const { run->let_go(); }
    };
    const std::unique_ptr<EjectRun, LetGo> held(static_cast<EjectRun*>(argument));
    EjectRun& run = *held;
    run.ejected = 0;
    const hostos::Handle volume = run.volume;
    std::uint32_t returned = 0;
    if (!hostos::device_io_control(volume, hostos::kFsctlLockVolume, nullptr, 0, nullptr, 0, returned)) {
        run.close_volume_once();
        return 0;
    }
    hostos::StorageDeviceNumber number{};
    const bool numbered = storage_number(volume, number);
    run.close_volume_once();
    hostos::DeviceInstance disk = 0;
    hostos::DeviceInstance removable = 0;
    if (!numbered || !find_disk(number.DeviceNumber, disk) || !removable_ancestor(disk, removable))
        return 0;
    wchar_t id[kDeviceIdLength] = {};
    hostos::DeviceInstance located = 0;
    if (!hostos::device_id(removable, id, kDeviceIdLength) || !hostos::locate_devnode(id, located) ||
        !hostos::request_eject(located))
        return 0;
    run.ejected = 1;
    return 1;
}

// Runs the worker on `volume` within the time limit: 1 when it ejected.
std::int32_t eject_volume(hostos::Handle volume)
{
    auto* run = new (std::nothrow) EjectRun;
    if (run == nullptr) {
        if (hostos::usable(volume))
            hostos::close_volume(volume);
        return 0;
    }
    run->volume = volume;
    std::int32_t ejected = 0;
    if (const hostos::Handle worker = hostos::create_thread(eject_worker, run)) {
        const hostos::WaitResult waited = hostos::wait_thread(worker, kEjectLimitMs);
        if (waited == hostos::WaitResult::TimedOut)
            hostos::terminate_thread(worker);
        if (waited == hostos::WaitResult::Signaled)
            ejected = run->ejected;
        hostos::close_handle(worker);
    } else {
        run->let_go();  // the worker's share
    }
    // A worker that never ran, or was stopped before it closed the volume,
    // leaves the handle to us.
    // NOLINTNEXTLINE(clang-analyzer-cplusplus.NewDelete): users starts at 2, the worker's share alone never frees it
    run->close_volume_once();
    run->let_go();
    return ejected;
}

}  // namespace

extern "C" FENDRAC_API int FENDRAC_CALL MSC_EjectMedia(void)
{
    // Held to the end: a close waits for the eject, and a second eject for
    // the first.
    const DriveHold manager;
    if (!manager)
        return 0;
    const std::lock_guard one_at_a_time(eject_lock());
    if (manager->locked == 0 && manager->handle_open == 1)
        notify_connection(*manager, 0);

    // The commands of other threads that are under way end on the handle
    // first; those that come later find none until the reopen.
    if (eject_volume(manager->take_device_handle()) == 1)
        return 1;

    manager->put_device_handle(OpenDeviceHandle(manager->device_path.get()));
    if (manager->locked == 0)
        notify_connection(*manager, 1);
    return 0;
}
