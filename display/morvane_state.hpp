// Program-wide state of morvane, set once at start-up and used by every
// command: the framebuffer descriptor and mapping, the visible size, the
// off-screen image buffer and the screen information read from the driver.
// The run owns the descriptor, the mapping and the image buffer
// (morvane_main); these names lead to them while it lasts.
#pragma once

#include "display/epdc.hpp"

#include <cstddef>
#include <cstdint>

namespace morvane {

extern int fb_fd;
extern uint16_t* mmapaddr;  // framebuffer memory, mmaplen bytes
extern size_t mmaplen;
extern int ResX;
extern int ResY;
extern uint16_t* imgbuf;  // image buffer, imgbuf_len bytes, row stride ResX
extern size_t imgbuf_len;
extern fb_var_screeninfo var_info;
extern fb_fix_screeninfo fix_info;

// Pixels of the image buffer that hold the picture: ResX x ResY, but never
// more than the buffer has.
size_t picture_pixels();

}  // namespace morvane
