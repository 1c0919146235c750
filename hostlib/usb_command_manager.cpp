#include "hostlib/usb_command_manager.hpp"

#include "hostlib/include/fendrac.h"
#include "hostlib/named_mutex.hpp"
#include "hostlib/os/host_device.hpp"
#include "hostlib/results.hpp"

#include <cwchar>
#include <new>

namespace fendrac {

LibraryState& library()
{
    static LibraryState* state = new LibraryState;  // outlives threads still in an export at exit
    return *state;
}

CUSBCommandManager::CUSBCommandManager() : property(shared_property()) {}

CUSBCommandManager::~CUSBCommandManager()
{
    destroy_shared_property();
    property = nullptr;
    if (hostos::usable(device_handle))
        hostos::close_volume(device_handle);
}

bool CUSBCommandManager::set_device_path(const wchar_t* path)
{
    const std::size_t length = std::wcslen(path);
    std::unique_ptr<wchar_t[]> copy(new (std::nothrow) wchar_t[length + 1]);
    if (!copy)
        return false;
    std::wmemcpy(copy.get(), path, length + 1);
    device_path = std::move(copy);
    return true;
}

hostos::Handle CUSBCommandManager::take_device_handle()
{
    const std::unique_lock alone(handle_use);
    const hostos::Handle handle = device_handle;
    device_handle = nullptr;
    return handle;
}

void CUSBCommandManager::put_device_handle(hostos::Handle handle)
{
    const std::unique_lock alone(handle_use);
    device_handle = handle;
    handle_open = 1;
}

std::int32_t CUSBCommandManager::DispatchExchange(std::uint8_t code, const void* request, std::uint32_t request_length,
                                                  void* reply, std::uint32_t reply_length)
{
    return dispatch(code, 0, const_cast<void*>(request), request_length, nullptr, 1, reply, reply_length);
}

std::int32_t CUSBCommandManager::DispatchRead(std::uint8_t code, void* reply, std::uint32_t reply_length,
                                              std::uint32_t selector)
{
    std::uint32_t scratch = 0;
    return dispatch(code, selector, reply, reply_length, &scratch, 0, nullptr, 0);
}

std::int32_t CUSBCommandManager::dispatch(std::uint8_t code, std::uint32_t selector, void* data, std::uint32_t length,
                                          void* word3, std::uint32_t word4, void* reply, std::uint32_t reply_length)
{
    MutexHold state1(FENDRAC_MUTEX_STATE1);
    MutexHold state2(FENDRAC_MUTEX_STATE2);
    std::shared_lock handle_in_use(handle_use);

    std::unique_ptr<CUSBCommand> command = build_command(code, selector);
    std::int32_t result = kNotBuilt;
    if (command) {
        command->command_code = code;
        command->device_handle = device_handle;
        current_command = command.get();
        if (command->Prepare() < 0)
            result = kPrepareFailed;
        else if (const std::int32_t executed = command->Execute(data, length, word3, word4, reply, reply_length))
            result = executed;
        else
            result = command->Finish() < 0 ? kFinishFailed : kOk;
    }
    command.reset();
    current_command = nullptr;
    handle_in_use.unlock();
    state1.release();
    state2.release();
    return result;
}

hostos::Handle OpenDeviceHandle(const wchar_t* path)
{
    const hostos::Handle handle = hostos::open_volume(path);
    if (handle != hostos::invalid_handle())
        return handle;
    return hostos::broker_open(path, hostos::current_process_id());
}

}  // namespace fendrac
