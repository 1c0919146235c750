// A kernel uevent message as the hot-plug daemon reads it: NUL-terminated
// "KEY=value" strings after a header line, and the values it looks up. The
// strings are read in place: no copy, no allocation.
#pragma once

#include <cstddef>
#include <string_view>

namespace usbhotplug {

class UeventMessage {
public:
    UeventMessage(const char* buffer, std::size_t length) : buffer_(buffer), length_(length) {}

    // The string that starts at `at`, and `at` moved to the next one; false
    // at the end. Strings never reach past the bytes received: a last string
    // without its NUL ends where the message does.
    bool next(std::size_t& at, std::string_view& string) const;

    // The last value of `key` in the message.
    bool last_value(std::string_view key, std::string_view& value) const;

private:
    const char* buffer_;
    std::size_t length_;
};

// The value of `key` ("ACTION=") in one uevent string: the text after its
// first '='. Null when the string is another key's.
const char* get_param_value(std::string_view string, std::string_view key, std::string_view& value);

// A MAJOR or MINOR value as the C library reads it (any base), the whole
// value however long.
long parse_number(std::string_view text);

}  // namespace usbhotplug
