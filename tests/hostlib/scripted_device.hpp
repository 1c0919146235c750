// A device layer for the library's native tests: a reader whose every
// answer the test scripts, and a log of what the library asked of it.
#pragma once

#include "hostlib/os/host_system.hpp"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace scripted {

// One pass-through request as the library made it.
struct Exchange {
    std::array<std::uint8_t, 44> header{};  // the request record's header as sent
    std::array<std::uint8_t, 16> cdb{};
    std::uint8_t cdb_length = 0;
    bool data_in = false;
    std::uint32_t length = 0;  // DataTransferLength
    std::vector<std::uint8_t> data_out;
    std::uint32_t in_size = 0;
    std::uint32_t out_size = 0;

    std::uint8_t code() const { return cdb[2]; }
    std::uint8_t phase() const { return cdb[4]; }
};

// What the driver answers.
struct Answer {
    bool call_ok = true;
    std::uint8_t status = 0;
    std::vector<std::uint8_t> data;            // data-in bytes
    std::optional<std::uint32_t> returned;     // default: 80 + data bytes (in), 80 (out)
    // The bytes moved, as the driver leaves them in DataTransferLength.
    // Default: the data bytes (in); out, all of them, or none after CHECK
    // CONDITION.
    std::optional<std::uint32_t> transfer_length;
};

using Responder = std::function<Answer(const Exchange&)>;

// A well-behaved, unlocked reader of protocol version "01000010" that
// answers every data-in phase with as many bytes as asked (zeros).
Answer good_reader(const Exchange& exchange);

// Back to the good reader, an empty log, every volume openable, no broker.
void reset();
void respond(Responder responder);
const std::vector<Exchange>& log();

// Which paths CreateFile opens (default: all); the broker's answer.
void volumes_open(bool open);
void broker(std::function<hostos::Handle(const std::wstring&)> open);
int broker_calls();
int volumes_opened();
int volumes_closed();

// The little-endian word as data bytes.
std::vector<std::uint8_t> word(std::int32_t value);

}  // namespace scripted
