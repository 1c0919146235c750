// A small file of the reader's directory that a model reads again and again
// (the faults, the panel's content), held open so that learning whether it
// changed costs one fstat and no path lookup. The bytes are read again when
// the file's inode, size or times changed; a file replaced by another
// (renamed over it) is opened anew; a missing file reads as empty.
#pragma once

#include "vreader/model/core/host_fd.hpp"

#include <sys/types.h>

#include <ctime>
#include <string>

namespace vreader {

class WatchedFile {
public:
    explicit WatchedFile(std::string path) : path_(std::move(path)) {}
    WatchedFile(const WatchedFile&) = delete;
    WatchedFile& operator=(const WatchedFile&) = delete;

    // Reads the file again; true when its content differs from the last
    // read (the first read counts as a change).
    bool refresh();
    const std::string& text() const { return text_; }
    const std::string& path() const { return path_; }

    struct Stamp {
        ino_t inode = 0;
        off_t size = -1;
        time_t modified_s = 0;
        long modified_ns = 0;
        time_t changed_s = 0;
        long changed_ns = 0;
        bool operator==(const Stamp&) const = default;
    };

private:
    std::string path_;
    HostFd fd_;
    std::string text_;
    Stamp stamp_;
    bool known_ = false;
};

}  // namespace vreader
