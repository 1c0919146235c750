// The link to the sub-CPU through its character device, /dev/sub_cpu: one
// write of a whole request packet is one request, one read of the reply's
// size returns the reply. A packet, in both directions:
//     0xEE, S - 2, code, payload (big-endian numbers), checksum
// where S is fixed by the code and the direction, and the checksum is the
// low 8 bits of the sum of the bytes from the length byte to the last
// payload byte. (Not the touch panel's frame: that one has no checksum.)
//
// Every function returns 1 for success and 0 for failure; the module keeps
// one send and one receive buffer, one exchange at a time.
#pragma once

#include "protocol/sub_cpu_codes.hpp"

#include <cstddef>
#include <cstdint>

namespace subcmd {

inline constexpr const char* SUB_CPU_DEVICE = "/dev/sub_cpu";
inline constexpr std::uint8_t kLeadByte = protocol::sub_cpu::kLead;
// Room for the largest packet either way.
inline constexpr std::size_t kPacketBuffer = 32;

enum : std::uint8_t {
    REG_WRITE = protocol::sub_cpu::kRegWrite,
    REG_READ = protocol::sub_cpu::kRegRead,
    REGS_CONFIG = protocol::sub_cpu::kRegsConfig,
    REGS_STATUS = protocol::sub_cpu::kRegsStatus,
    VERSION_MCU = protocol::sub_cpu::kVersionMcu,
    VERSION_SELF = protocol::sub_cpu::kVersionSelf,
    REQ_STATUS = protocol::sub_cpu::kReqStatus,
    REQ_UPDATE_START = protocol::sub_cpu::kReqUpdateStart,
    REQ_UPDATE_END = protocol::sub_cpu::kReqUpdateEnd,
    REQ_WRITE = protocol::sub_cpu::kReqWrite,
    REQ_READ = protocol::sub_cpu::kReqRead,
    REQ_ERASE = protocol::sub_cpu::kReqErase,
    REQ_VERIFY = protocol::sub_cpu::kReqVerify,
    REQ_SWAP = protocol::sub_cpu::kReqSwap,
    REQ_REBOOT = protocol::sub_cpu::kReqReboot,
    REQ_UPDATE_MODE = protocol::sub_cpu::kReqUpdateMode,
};

struct Version {
    unsigned year;
    unsigned month;
    unsigned day;
    unsigned long number;
};

std::uint16_t big2short(const std::uint8_t* bytes);
std::uint32_t big2long(const std::uint8_t* bytes);
void short2big(std::uint16_t value, std::uint8_t* bytes);
void long2big(std::uint32_t value, std::uint8_t* bytes);

// Packet sizes by code, requests and replies; 0 for a code that has none.
unsigned get_send_size(std::uint8_t code);
unsigned get_recv_size(std::uint8_t code);
// The checksum of a framed packet, from its length byte.
std::uint8_t checksum(const std::uint8_t* packet);

// Reads the reply to `code` from `fd` in one read of its size and checks it:
// 1, or 0 with the fault printed (and the request `sent` when the read came
// short).
int receive_reply(int fd, std::uint8_t code, std::uint8_t (&reply)[kPacketBuffer], const std::uint8_t* sent);
// A reply of get_recv_size(code) bytes: the lead byte, its length, the code
// and the checksum. 1, or 0 with the reply printed.
int check_reply(const std::uint8_t (&reply)[kPacketBuffer], std::uint8_t code);

int sub_open();
void sub_close();

int sub_reg_write(std::uint8_t reg, std::uint8_t value);
int sub_reg_read(std::uint8_t reg, std::uint8_t* value);
// 0x03 or 0x04: `data` points at the values in the receive buffer until the
// next exchange.
int sub_regs_read(std::uint8_t code, unsigned* count, const std::uint8_t** data);
// The requests answered by a status byte: `ok` is 1 when it is 0.
int sub_request(std::uint8_t code, int* ok);
int sub_req_block(std::uint8_t code, std::uint8_t block, int* ok);
// 16 bytes at `address`: 1 only when the exchange succeeded and the status is 0.
int sub_req_write(std::uint16_t address, const std::uint8_t* data);
int sub_req_read(std::uint16_t address, std::uint8_t* value);
int sub_req_version(std::uint8_t code, Version* version);

// The last reply's payload: its size, `data` pointing at it.
unsigned sub_received(const std::uint8_t** data);
void sub_received_dump();

// No-send mode, set by debug_no_send: packets are built and printed but
// never sent, every status reads as 0; the tool then sets up no connection
// and prints nothing that depends on a reply.
extern bool bNoSend;

// Print every packet sent and every valid reply received.
void debug_cmd_out();
// The same, and never touch the device: every status reads as 0.
void debug_no_send();

}  // namespace subcmd
