// A kernel uevent message as the hot-plug daemon reads it: NUL-terminated
// "KEY=value" strings after a header line, and the values it looks up.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace usbhotplug {

// The message's NUL-terminated strings, never past the bytes received; a
// last string without its NUL ends where the message does.
std::vector<std::string_view> split_message(const char* buffer, std::size_t length);

// The value of `key` ("ACTION=") in one uevent string: the text after its
// first '='. Null when the string is another key's.
const char* get_param_value(std::string_view string, std::string_view key, std::string_view& value);

// The last value of `key` in the message.
bool last_value(const std::vector<std::string_view>& message, std::string_view key, std::string_view& value);

// A MAJOR or MINOR value as the C library reads it (any base), from its
// first 63 characters.
long parse_number(std::string_view text);

}  // namespace usbhotplug
