// What a serial port's far end has sent and the program has not read yet:
// pieces of bytes, one handed out a read, as the tty layer hands on what
// arrived together. A read never joins two pieces.
#pragma once

#include "vreader/model/state/json_line.hpp"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <string>

namespace vreader {

class ReceivedPieces {
public:
    bool empty() const { return pieces_.empty(); }
    void push(std::string bytes) { pieces_.push_back(std::move(bytes)); }
    void push(std::span<const std::uint8_t> bytes) { pieces_.emplace_back(bytes.begin(), bytes.end()); }

    // Moves up to `count` bytes of the first piece into `buf` (a short read
    // half of them, at least one) and journals them in `line`; the rest
    // stays for the next read. Needs a piece and a `count` above 0.
    std::size_t take(void* buf, std::size_t count, bool short_read, JsonLine& line);

    // The poll events a port with these pieces reports of `requested`: it
    // can always be written, and read while a piece waits.
    short poll_ready(short requested) const;

private:
    std::deque<std::string> pieces_;
};

}  // namespace vreader
