// Opening and closing the one reader drive of the process.
#pragma once

#include "hostlib/usb_command_manager.hpp"

#include <cstdint>

namespace fendrac {

// 1 when the drive is open (or already was), 0 when it failed.
std::int32_t open_drive(const wchar_t* path);
void close_drive();

// The exchange of code 4: the dispatcher's code when it failed, else the
// reader's result.
std::int32_t unlock_device(CUSBCommandManager& manager, const char* code);
// Code 3: tells the reader whether the host is connected; the same kind of
// result.
std::int32_t notify_connection(CUSBCommandManager& manager, std::uint32_t connected);

}  // namespace fendrac
