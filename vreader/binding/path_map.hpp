// Where a path a program names lands on the virtual reader: the modelled
// /dev tree, the reader's own sys/ and proc/ directories, the device nodes
// it keeps for /tmp/lun*, or the host. Symbolic links are resolved first,
// every component's, in the reader's view (core/reader_paths.hpp): a link
// into /dev reaches the device tree, never the host's /dev.
#pragma once

#include "vreader/model/core/reader_paths.hpp"

#include <string>

namespace vreader {

using Area = PathArea;

struct MappedPath {
    Area area = Area::Host;
    // Dev, Sys, Proc, Kept: the path resolved ("/dev/fb0", "/sys/class/x",
    // "/tmp/lun0"). Host: the resolved path when a link led there, else
    // empty: the caller uses its own path unchanged.
    std::string normal;
    // The call fails with it: ELOOP, a walk with too many links.
    int error = 0;

    // The path to hand the C library for a host path.
    const char* host(const char* given) const { return normal.empty() ? given : normal.c_str(); }
};

// Relative paths are taken from the current directory, or from `base` (an
// absolute directory) when it is given. The last component's link is
// followed unless `follow_last` is false (unlink, mknod, O_NOFOLLOW).
MappedPath map_path(const char* path, bool follow_last = true, const char* base = nullptr);

}  // namespace vreader
