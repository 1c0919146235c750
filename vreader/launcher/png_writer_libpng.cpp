#include "vreader/launcher/png_writer.hpp"

#include <png.h>

namespace vreader {

bool write_png(const std::string& path, const Image& image, std::string& error)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = image.width;
    png.height = image.height;
    png.format = image.channels == 1 ? PNG_FORMAT_GRAY : PNG_FORMAT_RGB;
    const auto stride = static_cast<png_int_32>(image.width * image.channels);
    if (png_image_write_to_file(&png, path.c_str(), 0, image.pixels.data(), stride, nullptr) == 0) {
        error = path + ": " + png.message;
        png_image_free(&png);
        return false;
    }
    return true;
}

}  // namespace vreader
