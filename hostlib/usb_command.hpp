// CUSBCommand: one vendor command, living for one dispatch. It owns the
// pass-through record that carries each of its phases to the reader.
// SendPhase and ReceivePhase move one phase; Transfer carries one phase
// through the driver, with retries.
#pragma once

#include "hostlib/os/host_system.hpp"
#include "hostlib/pass_through.hpp"
#include "hostlib/usb_property.hpp"

#include <cstdint>

namespace fendrac {

class CUSBCommand {
public:
    CUSBCommand();
    virtual ~CUSBCommand() = default;
    CUSBCommand(const CUSBCommand&) = delete;
    CUSBCommand& operator=(const CUSBCommand&) = delete;

    // The dispatchers call Execute with (request, length, 0, 1, reply,
    // length) or, for a command that only reads, (reply, length, scratch
    // word, 0, null, 0). The two middle words are never read.
    virtual std::int32_t Execute(void* data, std::uint32_t length, void* word3, std::uint32_t word4, void* reply,
                                 std::uint32_t reply_length);
    virtual std::int32_t Prepare();
    virtual std::int32_t Finish();

    hostos::Handle device_handle = nullptr;
    PassThroughRecord record;
    std::uint8_t command_code = 0;
    std::uint8_t* data_area;
    std::uint32_t data_capacity = kDataCapacity;
    CUSBProperty* property;
};

// One data-out phase: 0 only when the exchange went through (the call
// succeeded and the reader answered GOOD) and the driver reports that the
// reader took every byte; else the bytes it did not take (all of them when
// the exchange failed; -1 for a failed phase of no bytes). `length` is at
// most 4096.
std::int32_t SendPhase(CUSBCommand& command, const void* data, std::uint32_t length, std::uint8_t phase);

// One data-in phase: 0 when the exchange went through and `capacity` bytes
// arrived, else the bytes missing (-1 for a failed phase of no bytes);
// `received` tells how many did arrive (it may be null). A null buffer
// gives -2. `capacity` is at most 4096.
std::int32_t ReceivePhase(CUSBCommand& command, void* buffer, std::uint32_t capacity, std::uint32_t* received,
                          std::uint8_t phase);

// Carries the record's phase through the driver, up to ten attempts 200 ms
// apart. True when the exchange went through: the last call succeeded, the
// reader answered GOOD and the driver reported bytes back. `moved` is the
// count of bytes moved: for data-in the whole length when exactly that
// came, for data-out what the driver reports the reader took.
bool Transfer(CUSBCommand& command, std::uint32_t& moved);

}  // namespace fendrac
