#include "hotplug/uevent_message.hpp"

#include "platform/numbers.hpp"

#include <algorithm>
#include <cstring>

namespace usbhotplug {

bool UeventMessage::next(std::size_t& at, std::string_view& string) const
{
    if (at >= length_)
        return false;
    const void* end = std::memchr(buffer_ + at, '\0', length_ - at);
    const std::size_t stop = end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - buffer_) : length_;
    string = std::string_view(buffer_ + at, stop - at);
    at = stop + 1;
    return true;
}

bool UeventMessage::last_value(std::string_view key, std::string_view& value) const
{
    bool found = false;
    std::string_view string;
    for (std::size_t at = 0; next(at, string);) {
        std::string_view candidate;
        if (get_param_value(string, key, candidate) != nullptr) {
            value = candidate;
            found = true;
        }
    }
    return found;
}

// (Written with comparisons that cannot throw, so that the daemon needs no
// C++ runtime library.)
const char* get_param_value(std::string_view string, std::string_view key, std::string_view& value)
{
    if (string.size() < key.size() || std::string_view(string.data(), key.size()) != key)
        return nullptr;
    const void* equals = std::memchr(string.data(), '=', string.size());
    const std::size_t after = static_cast<std::size_t>(static_cast<const char*>(equals) - string.data()) + 1;
    value = std::string_view(string.data() + after, string.size() - after);
    return value.data();
}

long parse_number(std::string_view text)
{
    char buffer[64];
    const std::size_t length = std::min(text.size(), sizeof buffer - 1);
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return sys::strtol(buffer, nullptr, 0);
}

}  // namespace usbhotplug
