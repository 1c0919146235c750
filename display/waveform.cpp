// Waveform images are not handled yet: both commands say so and fail rather
// than report a write or a comparison that did not happen.
#include "display/waveform.hpp"

#include <cerrno>
#include <cstdio>

namespace morvane {

int write_waveform_data(const char*)
{
    std::printf("writewf is not available in this version.\n");
    return ENOSYS;
}

int verify_waveform(const char*)
{
    std::printf("verifywf is not available in this version.\n");
    return ENOSYS;
}

}  // namespace morvane
