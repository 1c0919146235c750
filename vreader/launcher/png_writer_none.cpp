#include "vreader/launcher/png_writer.hpp"

namespace vreader {

bool write_png(const std::string&, const Image&, std::string& error)
{
    error = "built without PNG support";
    return false;
}

}  // namespace vreader
