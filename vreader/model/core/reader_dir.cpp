#include "vreader/model/core/reader_dir.hpp"

#include "vreader/model/state/files.hpp"

#include <cstring>

namespace vreader {

std::optional<ReaderDir> ReaderDir::open(const std::string& path, std::string& error)
{
    std::string text;
    const std::string config_path = path + "/" + std::string(kConfigFile);
    if (const int e = read_file(config_path, text); e != 0) {
        error = path + " is not a virtual reader (" + config_path + ": " + std::strerror(e) + ")";
        return std::nullopt;
    }
    ReaderConfig config;
    std::string why;
    if (!parse_config(text, config, why)) {
        error = config_path + ": " + why;
        return std::nullopt;
    }
    return ReaderDir(path, config);
}

}  // namespace vreader
