#include "vreader/model/core/path_names.hpp"

#include <unistd.h>

#include <vector>

namespace vreader {

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

}  // namespace vreader
