// A virtual reader's state directory: its files and how to open an
// existing one. Every device keeps its own files in it (see state_files.hpp
// for the ones all share, and each device's model for its own); board/
// creates a reader.
//
//     sys/, proc/    what programs see under /sys and /proc, among it the
//                    raw-data table (sys/module/rawdatatable/parameters/)
#pragma once

#include "vreader/model/core/reader_config.hpp"
#include "vreader/model/state/state_files.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace vreader {

class ReaderDir {
public:
    // Opens an existing virtual reader; on failure says why in `error`.
    static std::optional<ReaderDir> open(const std::string& path, std::string& error);

    const std::string& path() const { return path_; }
    const ReaderConfig& config() const { return config_; }
    std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }

private:
    ReaderDir(std::string path, ReaderConfig config) : path_(std::move(path)), config_(config) {}

    std::string path_;
    ReaderConfig config_;
};

}  // namespace vreader
