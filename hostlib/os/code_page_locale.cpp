// The ANSI code page off Windows, for the Linux layer and the portable one
// alike: the C library's multibyte conversion in the current locale, the
// one MSC_OpenDriveA's path goes through as well. A byte that does not
// convert stands for itself.
#include "hostlib/os/host_system.hpp"

#include <cwchar>

namespace hostos {

std::wstring ansi_to_wide(std::string_view text)
{
    std::wstring wide;
    std::mbstate_t state{};
    while (!text.empty()) {
        wchar_t c;
        const std::size_t n = std::mbrtowc(&c, text.data(), text.size(), &state);
        if (n == 0 || n > text.size()) {
            wide += static_cast<wchar_t>(static_cast<unsigned char>(text.front()));
            text.remove_prefix(1);
            state = {};
        } else {
            wide += c;
            text.remove_prefix(n);
        }
    }
    return wide;
}

}  // namespace hostos
