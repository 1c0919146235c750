// The waveform image: hand a file to the display driver, or compare a file
// with the waveform area of the eMMC.
#pragma once

namespace morvane {

int write_waveform_data(const char* path);
int verify_waveform(const char* path);

}  // namespace morvane
