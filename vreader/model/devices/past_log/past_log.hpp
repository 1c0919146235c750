// The past log: the entries the kernel kept from earlier runs, as the
// past-log driver serves them, one whole entry per read. The reader keeps
// them in past_log.bin back to back, exactly as served, and the driver's
// own state (flush and challenge counts) in past_log.state.
//
// An entry is a 20-byte little-endian header (payload length u16, reserved
// u16, pid i32, tid i32, seconds i32, nanoseconds i32) and the payload: a
// priority byte, the tag and the message, each NUL-terminated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vreader {

inline constexpr std::string_view kPastLogFile = "past_log.bin";
inline constexpr std::string_view kPastLogStateFile = "past_log.state";

namespace past_log {

// Header field offsets; the header is packed, 20 bytes.
inline constexpr std::size_t kLengthOffset = 0;
inline constexpr std::size_t kReservedOffset = 2;
inline constexpr std::size_t kPidOffset = 4;
inline constexpr std::size_t kTidOffset = 8;
inline constexpr std::size_t kSecondsOffset = 12;
inline constexpr std::size_t kNanosecondsOffset = 16;
inline constexpr std::size_t kHeaderSize = 20;
static_assert(kReservedOffset == kLengthOffset + 2 && kPidOffset == kReservedOffset + 2 &&
              kTidOffset == kPidOffset + 4 && kSecondsOffset == kTidOffset + 4 &&
              kNanosecondsOffset == kSecondsOffset + 4 && kHeaderSize == kNanosecondsOffset + 4);
// The payload length is 16 bits.
inline constexpr std::size_t kMaxEntrySize = kHeaderSize + 0xFFFF;

struct Entry {
    std::int32_t pid = 0;
    std::int32_t tid = 0;
    std::int32_t seconds = 0;
    std::int32_t nanoseconds = 0;
    std::uint8_t priority = 4;
    std::string tag;
    std::string message;
};

// The entry's bytes; empty when its payload does not fit 16 bits.
std::string encode(const Entry& entry);

// Splits a dump into whole entries (views into `dump`). Returns the bytes
// they take: less than the dump's size when it ends inside an entry.
std::size_t split(std::string_view dump, std::vector<std::string_view>& entries);

// The whole log of the reader at `dir`; a reader made before the past log
// existed has the default one. 0 or an errno value.
int load(const std::string& dir, std::string& dump);
int save(const std::string& dir, std::string_view dump);

// What the driver counts across runs.
struct Counters {
    std::uint64_t flushes = 0;
    std::uint64_t challenges = 0;
};
// A missing file counts nothing. 0, an errno value, or EINVAL for bad text.
int load_counters(const std::string& dir, Counters& out);
int save_counters(const std::string& dir, const Counters& counters);

}  // namespace past_log
}  // namespace vreader
