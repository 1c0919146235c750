// The command classes of the reader's file service: size, read, write and
// delete of a file named by a path that the reader resolves.
#pragma once

#include "hostlib/usb_command.hpp"
#include "hostlib/commands_device.hpp"
#include "protocol/vendor_records.hpp"

#include <cstddef>
#include <cstdint>

namespace fendrac {

using vendor::kPathFieldSize;

// The request of a read or write: the path field, then three 32-bit words,
// the last the read's option word; a write puts the data's address there,
// which is never sent.
using vendor::FileRequest;

// What the write command is handed: the request as it travels, and the
// data it points to (an address that does not fit the request's 32-bit
// word outside 32-bit Windows).
struct FileWriteCall {
    FileRequest request;
    const void* data;
};

// Code 128: the path, then the reader's 4-byte size.
class CUSBCommand_UsbFileGetSize : public CUSBCommand_PlainExchange {};

// Code 129: the request, the reader's status, then the data in pieces.
class CUSBCommand_UsbFileRead : public CUSBCommand {
public:
    std::int32_t Execute(void* request, std::uint32_t length, void*, std::uint32_t, void* reply,
                         std::uint32_t reply_length) override;
};

// Code 130: the request without its last word, the reader's status, then
// the data in pieces. `request` is a FileWriteCall.
class CUSBCommand_UsbFileWrite : public CUSBCommand {
public:
    std::int32_t Execute(void* request, std::uint32_t length, void*, std::uint32_t, void* reply,
                         std::uint32_t reply_length) override;
};

// Code 131: the path, then the reader's 4-byte result.
class CUSBCommand_UsbFileDelete : public CUSBCommand_PlainExchange {
public:
    std::int32_t Execute(void* request, std::uint32_t length, void*, std::uint32_t, void* reply,
                         std::uint32_t reply_length) override;
};

// The size of the next piece of a transfer with `remaining` bytes to go,
// and its phase: closing for the piece that ends it.
inline std::uint32_t next_piece(std::int64_t remaining)
{
    return remaining <= kDataCapacity ? static_cast<std::uint32_t>(remaining) : kDataCapacity;
}
inline std::uint8_t piece_phase(std::int64_t remaining)
{
    return remaining <= kDataCapacity ? kPhaseClosing : kPhaseContinuing;
}

}  // namespace fendrac
