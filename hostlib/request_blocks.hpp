// The blocks the exports build their requests in: allocated zeroed, so that
// what a field does not fill travels as zeros, and text fields filled from
// the caller's strings.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

namespace fendrac {

// A zeroed T; null when out of memory.
template <typename T>
std::unique_ptr<T> zeroed()
{
    std::unique_ptr<T> block(new (std::nothrow) T);
    if (block)
        std::memset(static_cast<void*>(block.get()), 0, sizeof(T));
    return block;
}

// Copies `text` (null for none) up to its terminator, at most the whole
// field: a text as long as the field or longer travels cut, without a
// terminator. The rest of the field stays as it was.
template <std::size_t N>
void copy_text(char (&field)[N], const char* text)
{
    if (text == nullptr)
        return;
    std::size_t length = 0;
    while (length < N && text[length] != '\0')
        ++length;
    std::memcpy(field, text, length);
}

}  // namespace fendrac
