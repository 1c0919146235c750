#include "vreader/model/devices/display/epdc_kept_state.hpp"

#include "vreader/model/devices/display/display_files.hpp"
#include "vreader/model/state/files.hpp"

#include <cstdio>
#include <cstring>

namespace vreader {

EpdcState* EpdcKeptState::get()
{
    if (!state_ && !failed_) {
        const std::string path = session_.dir().file(kStateFile);
        std::string text;
        std::string why;
        EpdcState loaded;
        const int e = session_.read_kept(path, text);
        if (e == 0 && parse_state(text, loaded, why)) {
            state_ = loaded;
        } else {
            std::fprintf(stderr, "vreader: cannot read %s: %s\n", path.c_str(),
                         e != 0 ? std::strerror(e) : why.c_str());
            failed_ = true;
        }
    }
    return state_ ? &*state_ : nullptr;
}

int EpdcKeptState::write_back()
{
    if (!dirty_ || !state_)
        return 0;
    dirty_ = false;
    return replace_file(session_.dir().file(kStateFile), format_state(*state_));
}

}  // namespace vreader
