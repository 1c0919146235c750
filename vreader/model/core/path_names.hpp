// Path names as the kernel resolves them: relative to the current
// directory, each component looked up in turn, a symbolic link replaced by
// its target where it stands (every component's, and the last one's unless
// the call says not to), "." and ".." taken after the links before them,
// repeated slashes dropped. The walk asks a lookup what each name is, so
// that the same walk serves the host's files and the virtual reader's own
// trees (reader_paths.hpp).
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace vreader {

// "/a//b/./c/../d" -> "/a/b/d"; "/" stays "/". By name only: for paths
// that hold no links.
std::string normal_path(std::string_view absolute);

// `path` made absolute against the current directory and normalised by
// name; empty when it is empty or the current directory cannot be learnt.
std::string absolute_normal_path(std::string_view path);

// Whether `path` (normalised) is `top` or lies under it.
bool path_within(std::string_view path, std::string_view top);

// What a walk finds at one absolute name.
struct PathEntry {
    enum class Kind { Missing, Directory, Other, Link } kind = Kind::Missing;
    std::string target;  // a link's
};
using PathLookup = std::function<PathEntry(const std::string& absolute)>;

// As many links as the kernel follows in one walk before ELOOP.
inline constexpr int kMaxLinks = 40;

struct ResolvedPath {
    // Absolute. Where the walk met a name that is missing or no directory
    // with more of the path after it, the rest follows as it was given
    // (without "." and repeated slashes), so that opening it fails as the
    // kernel fails it, never at a name ".." would reach by spelling alone.
    std::string path;
    int error = 0;          // ELOOP, or ENOENT for an empty path
    bool followed = false;  // a link was followed on the way
};

// Resolves `path` against `cwd` (absolute, itself free of links, as
// getcwd gives it).
ResolvedPath resolve_path(std::string_view path, std::string_view cwd, bool follow_last, const PathLookup& lookup);

}  // namespace vreader
