#include "vreader/model/board/create_reader.hpp"

#include "vreader/model/board/device_table.hpp"
#include "vreader/model/core/wake_pipe.hpp"
#include "vreader/model/state/files.hpp"
#include "vreader/model/state/reader_lock.hpp"
#include "vreader/model/state/state_files.hpp"

#include <cstring>
#include <filesystem>
#include <vector>

namespace vreader {
namespace {

// Removes everything a reader's directory holds but its lock, which the
// reset holds, and its configuration, which the reset replaces last: until
// then the directory stays a reader that a second reset may take on. What
// the reader's devices left (line settings, the PC's device tree, queued
// uevents, kept nodes, the PC library's mutexes) goes, so that a reset
// reader is a new one.
bool clear_reader(const std::string& path, std::string& error)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name != kLockFile && name != kConfigFile)
            entries.push_back(it->path());
    }
    for (const fs::path& entry : entries)
        if (!ec)
            fs::remove_all(entry, ec);
    if (ec) {
        error = "cannot reset " + path + ": " + ec.message();
        return false;
    }
    return true;
}

}  // namespace

bool create_reader(const std::string& path, const ReaderConfig& config, bool force, std::string& error)
{
    namespace fs = std::filesystem;
    error = check_config(config);
    if (!error.empty())
        return false;
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec || !fs::is_directory(path, ec)) {
        error = "cannot create directory " + path + (ec ? ": " + ec.message() : std::string());
        return false;
    }
    const std::string root = path + "/";
    const bool existing = file_exists(root + std::string(kConfigFile));
    if (existing && !force) {
        error = path + " is already a virtual reader (--force resets it)";
        return false;
    }
    if (!existing && (!fs::is_empty(path, ec) || ec)) {
        error = path + " is not empty and is not a virtual reader";
        return false;
    }

    ReaderLock lock(root + std::string(kLockFile));
    if (lock.error() != 0) {
        error = "cannot lock " + path + ": " + std::strerror(lock.error());
        return false;
    }
    if (existing && !clear_reader(path, error))
        return false;
    fs::create_directories(root + "sys", ec);
    fs::create_directories(root + "proc", ec);

    int e = 0;
    for (const DeviceRow* row : device_table())
        if (e == 0 && row->create != nullptr)
            e = row->create(root, config);
    if (e == 0)
        e = make_wake_pipe(root + std::string(kFaultsWake));
    if (e == 0)
        e = replace_file(root + std::string(kJournalFile), "");
    if (e == 0)
        e = replace_file(root + std::string(kFaultsFile), "");
    // The configuration goes last: until it is there, the directory is not a reader.
    if (e == 0)
        e = replace_file(root + std::string(kConfigFile), format_config(config));
    if (e != 0) {
        error = "cannot write the reader's files in " + path + ": " + std::strerror(e);
        return false;
    }
    return true;
}

}  // namespace vreader
