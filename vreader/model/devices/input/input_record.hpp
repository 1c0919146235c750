// The records of the input event devices as each program's own build lays
// them out. A struct input_event is the time of the event, seconds and
// microseconds as longs, then the type, the code and the value: 16 bytes in
// a 32-bit program (the reader's), 24 in a 64-bit one. A trace player and
// the program it plays into may be built for different machines (a native
// launcher driving an ARM program under an emulator), so the device, which
// runs inside the program, publishes the record size of the program's build
// beside its pipe when it opens it, and whatever writes records lays them
// out that way.
#pragma once

#include "vreader/model/core/reader_dir.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vreader {

struct InputEvent {
    std::int64_t seconds = 0;
    std::int64_t microseconds = 0;
    std::uint16_t type = 0;
    std::uint16_t code = 0;
    std::int32_t value = 0;
    bool operator==(const InputEvent&) const = default;
};

inline constexpr std::size_t kInputRecord32 = 16;  // 32-bit seconds and microseconds
inline constexpr std::size_t kInputRecord64 = 24;  // 64-bit
// This build's struct input_event.
extern const std::size_t kOwnInputRecord;

bool valid_input_record_size(std::size_t size);

// Appends `event` as a record of `record_size` bytes (kInputRecord32 or
// kInputRecord64), in this machine's byte order; the seconds and
// microseconds are cut to 32 bits in the small record, as a 32-bit kernel
// interface carries them.
void append_input_record(std::vector<std::uint8_t>& out, const InputEvent& event, std::size_t record_size);
// The event in a record of `record_size` bytes; nothing when the bytes are
// not one record.
std::optional<InputEvent> parse_input_record(std::span<const std::uint8_t> record, std::size_t record_size);

// "input/event1.record": where the device publishes the record size of the
// program that holds it.
std::string input_record_file(unsigned number);
// Publishes `record_size` for the device (the last program to open it
// wins). 0 or an errno value.
int publish_input_record_size(const ReaderDir& dir, unsigned number, std::size_t record_size);
// The record size of the program that holds the device, or this build's
// when none was published.
std::size_t program_input_record_size(const ReaderDir& dir, unsigned number);

}  // namespace vreader
