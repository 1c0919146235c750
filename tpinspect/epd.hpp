// The inspection tool's drawing layer: rectangle outlines and filled
// rectangles drawn straight into the mapped framebuffer (row stride: the
// visible width + 8 pixels), the dirty area that covers what was drawn since
// the last refresh, and partial (dirty area) or full refreshes. Colours are
// gray-table indices.
#pragma once

namespace epd {

// 0, or -1 when the framebuffer cannot be opened or mapped; after a failure
// the drawing operations draw nothing.
int epd_initialize();
void epd_finalize();

int epd_get_res_x();
int epd_get_res_y();

// Rectangles are cut at the screen's edges, left and top included.
void epd_drawrect(int x, int y, int w, int h, int gray);
void epd_drawfillrect(int x, int y, int w, int h, int gray);

// Refreshes the dirty area, unless it is empty or is the region refreshed
// last; the dirty area is then empty.
void epd_flush_area();
// Refreshes the whole screen; the dirty area stays.
void epd_flush_all();

}  // namespace epd
