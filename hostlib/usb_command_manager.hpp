// CUSBCommandManager: the one open reader drive of the process, shared by
// reference-counted opens, and the dispatchers that run one command on it
// under the machine-wide command mutexes.
#pragma once

#include "hostlib/os/host_system.hpp"
#include "hostlib/usb_command.hpp"
#include "hostlib/usb_property.hpp"

#include <atomic>
#include <cstdint>
#include <memory>

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

    CUSBCommand* current_command = nullptr;
    hostos::Handle device_handle = nullptr;
    CUSBProperty* property = nullptr;
    std::unique_ptr<wchar_t[]> device_path;
    std::int32_t locked = 0;
    std::int32_t handle_open = 0;

private:
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
// under STATE2 only; the exports read the current manager at any time.
struct LibraryState {
    std::atomic<CUSBCommandManager*> current_manager{nullptr};
    CUSBCommandManager* manager_slot = nullptr;
    std::uint32_t open_count = 0;
};
LibraryState& library();

}  // namespace fendrac
