#include "vreader/model/devices/input/input_record.hpp"

#include "vreader/model/devices/input/input_device.hpp"
#include "vreader/model/state/files.hpp"
#include "vreader/model/state/key_value.hpp"

#include <linux/input.h>

#include <cstddef>
#include <cstring>

namespace vreader {
namespace {

// The two layouts differ only in the width of the time: the type, the code
// and the value are the last 8 bytes of either.
constexpr std::size_t kTailBytes = 8;
static_assert(sizeof(input_event) == kInputRecord32 || sizeof(input_event) == kInputRecord64);
static_assert(offsetof(input_event, type) == sizeof(input_event) - kTailBytes);
static_assert(offsetof(input_event, code) == sizeof(input_event) - 6);
static_assert(offsetof(input_event, value) == sizeof(input_event) - 4);

template <class T>
void append(std::vector<std::uint8_t>& out, T value)
{
    std::uint8_t bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    out.insert(out.end(), bytes, bytes + sizeof value);
}

template <class T>
T take(const std::uint8_t*& at)
{
    T value;
    std::memcpy(&value, at, sizeof value);
    at += sizeof value;
    return value;
}

}  // namespace

const std::size_t kOwnInputRecord = sizeof(input_event);

bool valid_input_record_size(std::size_t size) { return size == kInputRecord32 || size == kInputRecord64; }

void append_input_record(std::vector<std::uint8_t>& out, const InputEvent& event, std::size_t record_size)
{
    if (record_size == kInputRecord32) {
        append(out, static_cast<std::int32_t>(event.seconds));
        append(out, static_cast<std::int32_t>(event.microseconds));
    } else {
        append(out, event.seconds);
        append(out, event.microseconds);
    }
    append(out, event.type);
    append(out, event.code);
    append(out, event.value);
}

std::optional<InputEvent> parse_input_record(std::span<const std::uint8_t> record, std::size_t record_size)
{
    if (!valid_input_record_size(record_size) || record.size() != record_size)
        return std::nullopt;
    const std::uint8_t* at = record.data();
    InputEvent event;
    if (record_size == kInputRecord32) {
        event.seconds = take<std::int32_t>(at);
        event.microseconds = take<std::int32_t>(at);
    } else {
        event.seconds = take<std::int64_t>(at);
        event.microseconds = take<std::int64_t>(at);
    }
    event.type = take<std::uint16_t>(at);
    event.code = take<std::uint16_t>(at);
    event.value = take<std::int32_t>(at);
    return event;
}

std::string input_record_file(unsigned number) { return input_pipe(number) + ".record"; }

int publish_input_record_size(const ReaderDir& dir, unsigned number, std::size_t record_size)
{
    return replace_file(dir.file(input_record_file(number)), std::to_string(record_size) + "\n");
}

std::size_t program_input_record_size(const ReaderDir& dir, unsigned number)
{
    std::string text;
    if (read_file(dir.file(input_record_file(number)), text) != 0)
        return kOwnInputRecord;
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    const auto size = parse_unsigned(text, kInputRecord64);
    return size && valid_input_record_size(static_cast<std::size_t>(*size)) ? static_cast<std::size_t>(*size)
                                                                            : kOwnInputRecord;
}

}  // namespace vreader
