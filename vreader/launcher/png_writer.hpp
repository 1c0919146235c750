// Writing an image as a PNG file (8-bit gray or RGB).
#pragma once

#include "vreader/model/devices/display/snapshots.hpp"

#include <string>

namespace vreader {

// False, with the reason in `error`, when the file cannot be written or this
// build has no PNG support.
bool write_png(const std::string& path, const Image& image, std::string& error);

}  // namespace vreader
