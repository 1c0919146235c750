// The sub-CPU's firmware, as the virtual reader plays it: a request packet
// in, its reply packet out. Packets are 0xEE, the length of the rest, the
// code, a big-endian payload and the low 8 bits of the sum of the bytes
// from the length to the payload's end; each code has fixed sizes.
//
// The firmware checks what it receives. Every request after "change to
// update mode" in the tool's help needs update mode. The flash it updates
// is the cluster that does not run: erased to 0xFF in 1 KiB blocks (4 to
// 28), written 16 bytes at a time only where erased, verified against what
// the update sent. A swap chooses the other cluster for the next boot; a
// reboot leaves update mode and runs it.
#pragma once

#include "protocol/sub_cpu_codes.hpp"
#include "vreader/model/devices/subcpu/subcpu_state.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace vreader::sub_cpu {

using protocol::sub_cpu::kLead;

// Status bytes of the replies that carry one.
inline constexpr std::uint8_t kOk = 0x00;
inline constexpr std::uint8_t kNotInUpdateMode = 0x01;
inline constexpr std::uint8_t kBadBlock = 0x02;
inline constexpr std::uint8_t kBadAddress = 0x03;
inline constexpr std::uint8_t kNotErased = 0x04;
inline constexpr std::uint8_t kVerifyFailed = 0x05;

using Packet = std::vector<std::uint8_t>;

// Where the firmware's flash lives: cluster 0 or 1, or kReceived, the record
// of what the running update sent. Addresses run from kFlashStart.
inline constexpr unsigned kReceived = 2;
class Flash {
public:
    virtual ~Flash() = default;
    virtual bool read(unsigned cluster, std::uint32_t address, std::uint8_t* out, std::size_t count) = 0;
    virtual bool write(unsigned cluster, std::uint32_t address, const std::uint8_t* data, std::size_t count) = 0;
};

// Whether the firmware knows `code`: a request with it (of the code's size)
// gets a reply.
bool answers(std::uint8_t code);

// Empty when `packet` is a request the firmware takes; otherwise why not:
// "lead byte", "length", "checksum" or "unknown code".
std::string refusal(const Packet& packet);

// Carries out a request the firmware takes and frames the reply. `corrupt`
// makes a 16-byte write store its first byte changed, as a failing flash
// cell would, while the reply says all went well. `changed` is set when the
// state changed.
Packet answer(const Packet& request, SubCpuState& state, Flash& flash, bool corrupt, bool& changed);

}  // namespace vreader::sub_cpu
