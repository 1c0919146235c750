// The inspection tool's drawing layer: rectangle outlines and filled
// rectangles drawn straight into the mapped framebuffer (row stride: the
// visible width + 8 pixels), the dirty area that covers what was drawn since
// the last refresh, and partial (dirty area) or full refreshes. Colours are
// gray-table indices.
#pragma once

#include <cstdint>

namespace epd {

// 0, or -1 (after a message on standard error) when the framebuffer cannot
// be opened or mapped, or its geometry cannot carry a layout: a side under
// four pixels, or more pixels than its memory holds. After a failure the
// drawing operations draw nothing.
int epd_initialize();
// Unmaps the screen and closes the device; drawing then draws nothing.
void epd_finalize();

int epd_get_res_x();
int epd_get_res_y();

// Rectangles are cut at the screen's edges, left and top included; what is
// left of them grows the dirty area even when none of it is on the screen
// (a mark past the right edge widens the area to that edge). 64-bit
// coordinates hold a mark around any 32-bit touch position.
void epd_drawrect(std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h, int gray);
void epd_drawfillrect(std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h, int gray);

// Refreshes the dirty area, unless it is empty or is the region refreshed
// last; the dirty area is then empty.
void epd_flush_area();
// Refreshes the whole screen; the dirty area stays.
void epd_flush_all();

}  // namespace epd
