// Where a path a program names lands on the virtual reader: the modelled
// /dev tree, the reader's own sys/ and proc/ directories for /sys and
// /proc, names a device keeps to itself (the gadget's /tmp/lun* nodes), or
// the host. Links are resolved first, every component's, in the reader's
// view: a host link into /dev leads to the device tree, a link in the
// reader's sys/ to "/dev/..." too, and the host's /dev, /sys and /proc are
// never looked at.
#pragma once

#include "vreader/model/core/path_names.hpp"
#include "vreader/model/core/reader_dir.hpp"

#include <functional>
#include <string>
#include <string_view>

namespace vreader {

enum class PathArea { Host, Dev, Sys, Proc, Kept };

// The names a device keeps to itself, outside /dev.
using KeptName = bool (*)(std::string_view absolute);

PathArea path_area(std::string_view absolute, KeptName kept_name);

// What the host has at `absolute` (lstat, and readlink for a link).
PathEntry host_entry(const std::string& absolute);
// What the reader has at `absolute` in `area` (Dev: its device tree, which
// holds no links; Sys, Proc: an attribute a model answers, else the file
// in the reader's directory). A name kept to itself is a node.
PathEntry reader_entry(const ReaderDir& dir, const std::string& absolute, PathArea area);

struct ReaderPath {
    PathArea area = PathArea::Host;
    std::string path;  // absolute; see ResolvedPath
    int error = 0;
    bool followed = false;
};

// Resolves `path` against `cwd`. `reader` is asked for only when the walk
// reaches the reader's own areas, so that host paths need no reader.
ReaderPath locate_path(std::string_view path, std::string_view cwd, bool follow_last, KeptName kept_name,
                       const std::function<const ReaderDir&()>& reader);

}  // namespace vreader
