// CUSBCommandManager: the one open reader drive of the process, shared by
// reference-counted opens, and the dispatchers that run one command on it
// under the machine-wide command mutexes.
#pragma once

#include "hostlib/os/host_system.hpp"
#include "hostlib/usb_command.hpp"
#include "hostlib/usb_property.hpp"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>

namespace fendrac {

class CUSBCommandManager {
public:
    CUSBCommandManager();
    virtual ~CUSBCommandManager();
    CUSBCommandManager(const CUSBCommandManager&) = delete;
    CUSBCommandManager& operator=(const CUSBCommandManager&) = delete;

    // Runs command `code` with request data and a reply buffer.
    std::int32_t DispatchExchange(std::uint8_t code, const void* request, std::uint32_t request_length, void* reply,
                                  std::uint32_t reply_length);
    // Runs command `code` that only reads into `reply`; the selector reaches
    // the command (the protocol version query's).
    std::int32_t DispatchRead(std::uint8_t code, void* reply, std::uint32_t reply_length, std::uint32_t selector);

    // Replaces the stored path by a copy of `path`; false when out of memory.
    bool set_device_path(const wchar_t* path);

    // Takes the device handle away for the eject, once no command of this
    // process uses it any more; commands that come later find none.
    hostos::Handle take_device_handle();
    // Puts `handle` in as the device handle (the eject's reopen), once no
    // command uses the one there.
    void put_device_handle(hostos::Handle handle);

    std::atomic<CUSBCommand*> current_command{nullptr};
    // Read by the commands while they hold `handle_use`; changed, after the
    // open, only through the two calls above.
    hostos::Handle device_handle = nullptr;
    CUSBProperty* property = nullptr;
    std::unique_ptr<wchar_t[]> device_path;
    std::int32_t locked = 0;
    std::int32_t handle_open = 0;

private:
    // Shared by the commands for their length, taken alone to change the
    // handle: the handle a command sends on stays open until it ends.
    std::shared_mutex handle_use;

    std::int32_t dispatch(std::uint8_t code, std::uint32_t selector, void* data, std::uint32_t length, void* word3,
                          std::uint32_t word4, void* reply, std::uint32_t reply_length);
};

// The command for `code`: null when it cannot be built (out of memory, or a
// gated command on a reader whose version fails the gate). An unknown code
// builds a command that does nothing.
std::unique_ptr<CUSBCommand> build_command(std::uint8_t code, std::uint32_t selector);

// Opens a volume: directly first, then through the device-open broker.
hostos::Handle OpenDeviceHandle(const wchar_t* path);

// The process-wide state of the library. The slot and the count change
// within the opens and closes, one at a time. The current manager is set
// once an open has finished and cleared when the last close begins, with
// `holds_lock` held; the exports hold it through DriveHold, counted in
// `holds`, which the last close waits to see at 0.
struct LibraryState {
    std::atomic<CUSBCommandManager*> current_manager{nullptr};
    CUSBCommandManager* manager_slot = nullptr;
    std::uint32_t open_count = 0;
    std::mutex holds_lock;
    std::condition_variable holds_ended;
    std::uint32_t holds = 0;
};
LibraryState& library();

}  // namespace fendrac
