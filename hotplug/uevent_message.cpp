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
    const std::size_t stop =
        end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - buffer_) : length_;
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

// strtol wants the text NUL-terminated, and a value may be as long as the
// message. It gets a copy without what cannot change the result: the
// leading blanks, and the leading zeros past the second (two stay, so that
// "00x1" does not turn into "0x1"). What follows starts with a digit other
// than 0, or is no number, so the 58 characters of it that fit decide the
// result as the whole does: a longer run of digits overflows either way.
long parse_number(std::string_view text)
{
    char buffer[64];
    std::size_t used = 0;
    std::size_t at = 0;
    while (at < text.size() && sys::numbers_detail::is_space(text[at]))
        ++at;
    const auto take = [&](std::size_t count) {
        count = std::min(count, text.size() - at);
        std::memcpy(buffer + used, text.data() + at, count);
        used += count;
        at += count;
    };
    const auto skip_zeros = [&] {
        std::size_t zeros = 0;
        while (at + zeros < text.size() && text[at + zeros] == '0')
            ++zeros;
        take(std::min<std::size_t>(zeros, 2));
        at += zeros > 2 ? zeros - 2 : 0;
    };
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
        take(1);
    if (text.size() - at >= 2 && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X'))
        take(2);
    skip_zeros();
    take(sizeof buffer - 1 - used);
    buffer[used] = '\0';
    return sys::strtol(buffer, nullptr, 0);
}

}  // namespace usbhotplug
