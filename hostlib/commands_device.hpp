// The command classes of the connection, the reader's lock and the small
// information queries.
#pragma once

#include "hostlib/usb_command.hpp"

namespace fendrac {

// Codes 3 and 4 share one exchange: the request, then the reader's 4-byte
// result; -16 when the request phase fails, -15 when the reply phase fails,
// -13 when the reply is short.
class CUSBCommand_ReqUsbConnect : public CUSBCommand {
public:
    std::int32_t Execute(void* request, std::uint32_t length, void*, std::uint32_t, void* reply,
                         std::uint32_t reply_length) override;
};

class CUSBCommand_UnlockDevice : public CUSBCommand_ReqUsbConnect {};

class CUSBCommand_GetUSBProtocolVersion : public CUSBCommand {
public:
    explicit CUSBCommand_GetUSBProtocolVersion(std::uint32_t selector_word) : selector(selector_word) {}
    std::int32_t Prepare() override;
    std::int32_t Execute(void* request, std::uint32_t length, void*, std::uint32_t, void*, std::uint32_t) override;

    std::uint32_t selector;
};

class CUSBCommand_GetProperty : public CUSBCommand {
public:
    std::int32_t Execute(void* request, std::uint32_t length, void*, std::uint32_t, void*, std::uint32_t) override;
};

// The closing phase that brings the whole reply: -13 when it fails or
// comes short.
std::int32_t ReceiveReply(CUSBCommand& command, void* reply, std::uint32_t reply_length);

// Codes 7 and 9 (and the other request-and-result commands) share the plain
// exchange: the request, then the reply; -13 on any failure or a short reply.
class CUSBCommand_PlainExchange : public CUSBCommand {
public:
    std::int32_t Execute(void* request, std::uint32_t length, void*, std::uint32_t, void* reply,
                         std::uint32_t reply_length) override;
};

class CUSBCommand_SetTime : public CUSBCommand_PlainExchange {};
class CUSBCommand_NotifyDeviceBeginEnd : public CUSBCommand_PlainExchange {};

// Code 8: the plain exchange with a request of four zero bytes in place of
// the caller's.
class CUSBCommand_GetFreeSpace : public CUSBCommand_PlainExchange {
public:
    std::int32_t Execute(void*, std::uint32_t, void*, std::uint32_t, void* reply, std::uint32_t reply_length) override;
};

class CUSBCommand_ConnectDevice : public CUSBCommand {
public:
    std::int32_t Execute(void* request, std::uint32_t length, void*, std::uint32_t, void*, std::uint32_t) override;
};

class CUSBCommand_GetFingerPrint : public CUSBCommand {
public:
    std::int32_t Execute(void* request, std::uint32_t length, void*, std::uint32_t, void* reply,
                         std::uint32_t reply_length) override;
};

// The reply record of code 160: the total the reader reported, and where
// the data goes (null to learn the total only).
struct InfoReply {
    std::int32_t total;
    void* buffer;
    std::int32_t buffer_size;
};

class CUSBCommand_GetInfo : public CUSBCommand {
public:
    std::int32_t Execute(void* request, std::uint32_t length, void*, std::uint32_t, void* reply,
                         std::uint32_t reply_length) override;

    std::int32_t total = 0;
};

}  // namespace fendrac
