// The past log's entries: how one is read from a binary dump, and how one
// is printed as a text line. An entry is a 20-byte little-endian header
// (payload length, reserved, pid, tid, seconds, nanoseconds) and a payload
// of a priority byte, a tag and a message, each string NUL-terminated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace melgrin {

inline constexpr std::size_t kEntryBuffer = 4640;
inline constexpr std::size_t kReadLimit = 4608;  // the 32 zero bytes past it end every string
inline constexpr std::size_t kHeader = 20;

enum class DumpRead {
    Entry,   // `size` bytes of one whole entry are in the buffer
    End,     // nothing more: fewer than the two bytes of a length came
    Broken,  // a length past the read limit, an entry cut short, a read error
};

// The next entry of a dump file into `entry` (kEntryBuffer bytes).
DumpRead read_dump_entry(int fd, std::uint8_t* entry, std::size_t& size);

// One entry of `size` bytes as a text line. The tag and the message come
// only from the payload the entry holds, whatever its length field claims.
void print_log_entry(std::FILE* out, const std::uint8_t* entry, std::size_t size);

}  // namespace melgrin
