#include "vreader/model/core/reader_paths.hpp"

#include "vreader/model/core/device_nodes.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace vreader {
namespace {

PathEntry entry_of(const std::string& file)
{
    struct stat st {};
    if (::lstat(file.c_str(), &st) != 0)
        return {};
    if (S_ISDIR(st.st_mode))
        return {PathEntry::Kind::Directory, {}};
    if (!S_ISLNK(st.st_mode))
        return {PathEntry::Kind::Other, {}};
    std::vector<char> target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
    for (;;) {
        const ssize_t n = ::readlink(file.c_str(), target.data(), target.size());
        if (n < 0)
            return {};
        if (static_cast<std::size_t>(n) < target.size())
            return {PathEntry::Kind::Link, std::string(target.data(), static_cast<std::size_t>(n))};
        target.resize(2 * target.size());  // the link grew since lstat
    }
}

}  // namespace

PathArea path_area(std::string_view absolute, KeptName kept_name)
{
    if (path_within(absolute, "/dev"))
        return PathArea::Dev;
    if (path_within(absolute, "/sys"))
        return PathArea::Sys;
    if (path_within(absolute, "/proc"))
        return PathArea::Proc;
    if (kept_name != nullptr && kept_name(absolute))
        return PathArea::Kept;
    return PathArea::Host;
}

PathEntry host_entry(const std::string& absolute) { return entry_of(absolute); }

PathEntry reader_entry(const ReaderDir& dir, const std::string& absolute, PathArea area)
{
    if (area == PathArea::Kept)
        return {PathEntry::Kind::Other, {}};
    if (const DeviceNode* node = find_node(dir.config(), absolute)) {
        if (node->exists != nullptr && !node->exists(dir, absolute))
            return {};
        return {node->open == nullptr ? PathEntry::Kind::Directory : PathEntry::Kind::Other, {}};
    }
    if (area == PathArea::Dev)
        return {};
    return entry_of(dir.path() + absolute);
}

ReaderPath locate_path(std::string_view path, std::string_view cwd, bool follow_last, KeptName kept_name,
                       const std::function<const ReaderDir&()>& reader)
{
    const auto lookup = [&](const std::string& absolute) {
        const PathArea area = path_area(absolute, kept_name);
        return area == PathArea::Host ? host_entry(absolute) : reader_entry(reader(), absolute, area);
    };
    const ResolvedPath resolved = resolve_path(path, cwd, follow_last, lookup);
    return {path_area(resolved.path, kept_name), resolved.path, resolved.error, resolved.followed};
}

}  // namespace vreader
