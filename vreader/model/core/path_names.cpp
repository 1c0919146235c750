#include "vreader/model/core/path_names.hpp"

#include <unistd.h>

#include <cerrno>
#include <vector>

namespace vreader {
namespace {

// The first component of `rest` (after its leading slashes), taken off it.
std::string_view take_component(std::string_view& rest)
{
    const auto start = rest.find_first_not_of('/');
    if (start == std::string_view::npos) {
        rest = {};
        return {};
    }
    rest.remove_prefix(start);
    const auto end = rest.find('/');
    const std::string_view part = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end);
    return part;
}

// `rest` without empty and "." components, ".." kept: what follows a name
// the walk could not pass.
std::string unwalked(std::string_view rest, bool trailing_slash)
{
    std::string out;
    for (std::string_view part = take_component(rest); !part.empty(); part = take_component(rest))
        if (part != ".")
            out += "/" + std::string(part);
    if (trailing_slash)
        out += "/";
    return out;
}

void pop_component(std::string& path)
{
    const auto slash = path.rfind('/');
    path.erase(slash == std::string::npos ? 0 : slash);
}

}  // namespace

std::string normal_path(std::string_view path)
{
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        const auto slash = path.find('/');
        const std::string_view part = path.substr(0, slash);
        path = slash == std::string_view::npos ? std::string_view{} : path.substr(slash + 1);
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string out;
    for (const auto part : parts) {
        out += '/';
        out += part;
    }
    return out.empty() ? "/" : out;
}

std::string absolute_normal_path(std::string_view path)
{
    if (path.empty())
        return {};
    if (path.front() == '/')
        return normal_path(path);
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd) == nullptr)
        return {};
    return normal_path(std::string(cwd) + "/" + std::string(path));
}

bool path_within(std::string_view path, std::string_view top)
{
    return path.starts_with(top) && (path.size() == top.size() || path[top.size()] == '/');
}

ResolvedPath resolve_path(std::string_view path, std::string_view cwd, bool follow_last, const PathLookup& lookup)
{
    ResolvedPath out;
    if (path.empty()) {
        out.error = ENOENT;
        return out;
    }
    // `resolved` is the walk so far, "" for the root; `pending` what is
    // left, link targets put in front of it.
    std::string resolved = path.front() == '/' ? std::string() : normal_path(cwd);
    if (resolved == "/")
        resolved.clear();
    std::string pending(path);
    int links = 0;
    for (;;) {
        std::string_view rest = pending;
        const std::string name(take_component(rest));
        if (name.empty())
            break;
        // The last name, or one that a trailing slash follows (which makes
        // it a directory, and so follows a link there too).
        const bool last = rest.find_first_not_of('/') == std::string_view::npos;
        const bool trailing_slash = last && !rest.empty();
        const std::string after(rest);
        if (name == ".") {
            pending = after;
            continue;
        }
        if (name == "..") {
            pop_component(resolved);
            pending = after;
            continue;
        }
        const std::string candidate = resolved + "/" + name;
        PathEntry entry = lookup(candidate);
        if (entry.kind == PathEntry::Kind::Link && (!last || trailing_slash || follow_last)) {
            if (++links > kMaxLinks) {
                out.path = candidate;
                out.error = ELOOP;
                return out;
            }
            out.followed = true;
            if (!entry.target.empty() && entry.target.front() == '/')
                resolved.clear();
            pending = entry.target + after;
            continue;
        }
        const bool passable = entry.kind == PathEntry::Kind::Directory || entry.kind == PathEntry::Kind::Link;
        if ((!last || trailing_slash) && !passable) {
            out.path = candidate + unwalked(after, trailing_slash);
            return out;
        }
        resolved = candidate;
        pending = after;
    }
    out.path = resolved.empty() ? "/" : resolved;
    return out;
}

}  // namespace vreader
