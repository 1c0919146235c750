// The morvane command line: start-up, dispatch and the display commands.
#pragma once

#include "display/epdc.hpp"

namespace morvane {

void Usage();
int morvane_main(int argc, char** argv);

// "file", "patt"/"vpatt" and "gray": fill the image buffer, copy the region
// to the framebuffer and send the update. They return the update result.
int display_file(int argc, char** argv, epdc::mxcfb_update_data& record);
int display_pattern(int argc, char** argv, epdc::mxcfb_update_data& record, int vertical);
int display_gray(int argc, char** argv, epdc::mxcfb_update_data& record);

}  // namespace morvane
