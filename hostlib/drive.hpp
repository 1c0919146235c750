// Opening and closing the one reader drive of the process, and the hold
// through which an export uses it.
#pragma once

#include "hostlib/usb_command_manager.hpp"

#include <cstdint>

namespace fendrac {

// 1 when the drive is open (or already was), 0 when it failed.
std::int32_t open_drive(const wchar_t* path);
void close_drive();

// The drive as one export uses it: the current manager, read once, kept
// alive until the hold ends. The last close waits for every hold to end
// before it disconnects and frees the manager, so an export never reaches
// a freed one; an export that comes after the close began finds no drive.
class DriveHold {
public:
    DriveHold();
    ~DriveHold();
    DriveHold(const DriveHold&) = delete;
    DriveHold& operator=(const DriveHold&) = delete;

    explicit operator bool() const { return manager_ != nullptr; }
    CUSBCommandManager& operator*() const { return *manager_; }
    CUSBCommandManager* operator->() const { return manager_; }

private:
    CUSBCommandManager* manager_;
};

// The exchange of code 4: the dispatcher's code when it failed, else the
// reader's result.
std::int32_t unlock_device(CUSBCommandManager& manager, const char* code);
// Code 3: tells the reader whether the host is connected; the same kind of
// result.
std::int32_t notify_connection(CUSBCommandManager& manager, std::uint32_t connected);

}  // namespace fendrac
