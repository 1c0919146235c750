// Where a path a program names lands on the virtual reader: the modelled
// /dev tree, the reader's own sys/ and proc/ directories, the device nodes
// it keeps for /tmp/lun*, or the host.
#pragma once

#include <string>

namespace vreader {

enum class Area { Host, Dev, Sys, Proc, Nodes };

struct MappedPath {
    Area area = Area::Host;
    // Dev, Sys, Proc, Nodes: the path made absolute and normalised
    // ("/dev/fb0", "/sys/class/x", "/tmp/lun0"). Host: empty; the caller uses
    // its own path unchanged.
    std::string normal;
};

// Relative paths are taken from the current directory; "." and ".." are
// resolved by name, without following links.
MappedPath map_path(const char* path);

}  // namespace vreader
