#include "hotplug/uevent_message.hpp"

#include "platform/numbers.hpp"

#include <algorithm>
#include <cstring>

namespace usbhotplug {

std::vector<std::string_view> split_message(const char* buffer, std::size_t length)
{
    std::vector<std::string_view> strings;
    for (std::size_t at = 0; at < length;) {
        const void* end = std::memchr(buffer + at, '\0', length - at);
        const std::size_t stop = end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - buffer) : length;
        strings.emplace_back(buffer + at, stop - at);
        at = stop + 1;
    }
    return strings;
}

const char* get_param_value(std::string_view string, std::string_view key, std::string_view& value)
{
    if (!string.starts_with(key))
        return nullptr;
    value = string.substr(string.find('=') + 1);
    return value.data();
}

bool last_value(const std::vector<std::string_view>& message, std::string_view key, std::string_view& value)
{
    bool found = false;
    for (const std::string_view string : message) {
        std::string_view candidate;
        if (get_param_value(string, key, candidate) != nullptr) {
            value = candidate;
            found = true;
        }
    }
    return found;
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
