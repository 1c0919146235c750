#include "vreader/binding/path_map.hpp"

#include <unistd.h>

#include <string_view>
#include <vector>

namespace vreader {
namespace {

std::string normalise(std::string_view path)
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

bool within(const std::string& path, std::string_view top)
{
    return path.compare(0, top.size(), top) == 0 && (path.size() == top.size() || path[top.size()] == '/');
}

}  // namespace

MappedPath map_path(const char* path)
{
    if (path == nullptr || *path == '\0')
        return {};
    std::string absolute;
    if (*path == '/') {
        absolute = path;
    } else {
        char cwd[4096];
        if (::getcwd(cwd, sizeof cwd) == nullptr)
            return {};
        absolute = std::string(cwd) + "/" + path;
    }
    std::string normal = normalise(absolute);
    if (within(normal, "/dev"))
        return {Area::Dev, std::move(normal)};
    if (within(normal, "/sys"))
        return {Area::Sys, std::move(normal)};
    if (within(normal, "/proc"))
        return {Area::Proc, std::move(normal)};
    return {};
}

}  // namespace vreader
