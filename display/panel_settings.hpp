// Settings of the e-paper controller: temperature, power-down delay, VCOM,
// waveform version, standby screen and the panel initialisation flag.
#pragma once

#include <linux/fb.h>

namespace morvane {

int get_temperature();
int set_default_temperature(const char* text);
int set_powerdown_delay(const char* text);
int get_vcom();
int set_vcom(const char* text);
int get_waveform_version();
int write_standbyscreen(const char* path, const fb_var_screeninfo& var);
int set_panel_init_flag(const char* text);

}  // namespace morvane
