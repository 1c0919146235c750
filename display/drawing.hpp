// The drawing layer of morvane: fill the image buffer from a file, a gray
// level or a test pattern, copy a rectangle of it into the framebuffer, and
// ask the EPDC driver to refresh that rectangle.
#pragma once

#include "display/epdc.hpp"

namespace morvane {

// Loads an image file into the image buffer with its top-left corner at
// (left, top) and returns the size drawn, clipped at the screen edges.
// A null path paints the picture white; a file that cannot be opened paints
// it black and reports the full screen.
void load_img_file(const char* path, int left, int top, int* width, int* height);

void copy_img_to_buf(uint16_t* destination, int left, int top, int width, int height, const fb_var_screeninfo& var);
void write_img_to_fb(int left, int top, int width, int height, const fb_var_screeninfo& var);

void makegray(int level);
void makepattern(const char* name, int vertical);

// Sends the update record; returns the request result (0 or -1 with errno).
int updateimg(epdc::mxcfb_update_data& record);

// Returns 0, 22 for an unknown word, or the errno of a failed request.
int set_rotate(fb_var_screeninfo& var, const char* word);
int disp_fb_info(const fb_fix_screeninfo& fix, const fb_var_screeninfo& var);

}  // namespace morvane
