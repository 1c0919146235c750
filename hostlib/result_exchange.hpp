// The commands whose reply is the reader's 4-byte result.
#pragma once

#include "hostlib/little_endian.hpp"
#include "hostlib/results.hpp"
#include "hostlib/usb_command_manager.hpp"

#include <cstdint>

namespace fendrac {

struct ResultExchange {
    std::int32_t dispatched;  // the dispatcher's code
    std::int32_t reader;      // the reader's result, when `dispatched` is kOk
};

inline ResultExchange exchange_for_result(CUSBCommandManager& manager, std::uint8_t code, const void* request,
                                          std::uint32_t length)
{
    std::uint8_t reply[4] = {};
    const std::int32_t dispatched = manager.DispatchExchange(code, request, length, reply, sizeof reply);
    return {dispatched, read_le32_signed(reply)};
}

// The reader's result of command `code`; the dispatcher's code when the
// command failed.
inline std::int32_t reader_result(CUSBCommandManager& manager, std::uint8_t code, const void* request,
                                  std::uint32_t length)
{
    const ResultExchange exchange = exchange_for_result(manager, code, request, length);
    return exchange.dispatched != kOk ? exchange.dispatched : exchange.reader;
}

// The reader's result of command `code`; kExchangeFailed when the command
// failed.
inline std::int32_t request_and_result(CUSBCommandManager& manager, std::uint8_t code, const void* request,
                                       std::uint32_t length)
{
    const ResultExchange exchange = exchange_for_result(manager, code, request, length);
    return exchange.dispatched != kOk ? kExchangeFailed : exchange.reader;
}

}  // namespace fendrac
