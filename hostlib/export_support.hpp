// What the exports share: the drive they run on, their common result codes,
// and the request-and-result exchange most of them make.
#pragma once

#include "hostlib/drive.hpp"
#include "hostlib/little_endian.hpp"
#include "hostlib/usb_command_manager.hpp"

#include <cstdint>

namespace fendrac {

inline constexpr int kNoDrive = -3;
inline constexpr int kExchangeFailed = -2;
inline constexpr int kOutOfMemory = -1;

// The reader's 4-byte result of command `code`: -2 when the exchange failed.
inline int request_and_result(CUSBCommandManager& drive, std::uint8_t code, const void* request, std::uint32_t length)
{
    std::uint8_t reply[4] = {};
    if (drive.DispatchExchange(code, request, length, reply, sizeof reply) != 0)
        return kExchangeFailed;
    return read_le32_signed(reply);
}

}  // namespace fendrac
