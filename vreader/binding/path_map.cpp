#include "vreader/binding/path_map.hpp"

#include "vreader/model/core/path_names.hpp"
#include "vreader/model/devices/gadget/kept_nodes.hpp"

namespace vreader {

MappedPath map_path(const char* path)
{
    if (path == nullptr || *path == '\0')
        return {};
    std::string normal = absolute_normal_path(path);
    if (normal.empty())
        return {};
    if (path_within(normal, "/dev"))
        return {Area::Dev, std::move(normal)};
    if (path_within(normal, "/sys"))
        return {Area::Sys, std::move(normal)};
    if (path_within(normal, "/proc"))
        return {Area::Proc, std::move(normal)};
    if (is_kept_node_path(normal))
        return {Area::Nodes, std::move(normal)};
    return {};
}

}  // namespace vreader
