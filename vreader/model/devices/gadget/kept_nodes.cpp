#include "vreader/model/devices/gadget/kept_nodes.hpp"

#include "vreader/model/core/device_request.hpp"
#include "vreader/model/core/path_names.hpp"
#include "vreader/model/state/files.hpp"

#include <sys/sysmacros.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace vreader {
namespace {

struct NodeType {
    mode_t type;
    std::string_view name;
};

constexpr NodeType kTypes[] = {
    {S_IFBLK, "block"}, {S_IFCHR, "char"}, {S_IFIFO, "fifo"}, {S_IFSOCK, "socket"}, {S_IFREG, "file"},
};

std::string_view type_name(mode_t mode)
{
    for (const auto& type : kTypes)
        if ((mode & S_IFMT) == type.type)
            return type.name;
    return {};
}

// The kept name a path is in: "/tmp/lun0" for "/tmp/lun0/x".
std::string_view top_name(std::string_view path)
{
    const auto slash = path.find('/', 5);
    return slash == std::string_view::npos ? path : path.substr(0, slash);
}

// Loads the list under the reader's lock for a call that reads or changes it.
int locked_nodes(DeviceRequest& request, const ReaderDir& dir, KeptNodes& nodes)
{
    std::string why;
    if (const int e = request.lock_reader())
        return e;
    const int e = load_nodes(dir, nodes, why);
    if (e == EINVAL)
        std::fprintf(stderr, "vreader: %s: %s\n", dir.file(kNodesFile).c_str(), why.c_str());
    return e != 0 ? EIO : 0;
}

// ENOENT or ENOTDIR for a name inside a kept name, 0 for a name of its own.
int parent_error(const KeptNodes& nodes, std::string_view path)
{
    if (top_name(path) == path)
        return 0;
    return find_kept_node(nodes, top_name(path)) != nullptr ? ENOTDIR : ENOENT;
}

}  // namespace

bool is_kept_node_path(std::string_view path) { return path.starts_with("/tmp/lun"); }

int load_nodes(const ReaderDir& dir, KeptNodes& out, std::string& why)
{
    out = {};
    std::string text;
    if (const int e = read_file(dir.file(kNodesFile), text))
        return e == ENOENT ? 0 : e;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string first;
        if (!(words >> first) || first.front() == '#')
            continue;
        if (first == "next") {
            if (!(words >> out.next_id)) {
                why = "bad line: " + line;
                return EINVAL;
            }
            continue;
        }
        KeptNode node;
        std::string type, device;
        unsigned permissions = 0;
        char colon = 0;
        std::istringstream id(first);
        if (!(id >> node.id) || !(words >> type >> std::oct >> permissions >> std::dec >> device) ||
            !(std::istringstream(device) >> node.major >> colon >> node.minor) || colon != ':') {
            why = "bad line: " + line;
            return EINVAL;
        }
        std::getline(words >> std::ws, node.path);
        const auto known =
            std::find_if(std::begin(kTypes), std::end(kTypes), [&](const NodeType& t) { return t.name == type; });
        if (known == std::end(kTypes) || !is_kept_node_path(node.path)) {
            why = "bad line: " + line;
            return EINVAL;
        }
        node.mode = known->type | (permissions & 07777);
        out.next_id = std::max(out.next_id, node.id + 1);
        out.nodes.push_back(std::move(node));
    }
    return 0;
}

int save_nodes(const ReaderDir& dir, const KeptNodes& nodes)
{
    std::string text = "# nodes made under /tmp/lun*: id type permissions major:minor path\nnext " +
                       std::to_string(nodes.next_id) + "\n";
    for (const KeptNode& node : nodes.nodes)
        text += std::to_string(node.id) + " " + describe_node(node) + " " + node.path + "\n";
    return replace_file(dir.file(kNodesFile), text);
}

const KeptNode* find_kept_node(const KeptNodes& nodes, std::string_view path)
{
    for (const KeptNode& node : nodes.nodes)
        if (node.path == path)
            return &node;
    return nullptr;
}

std::string describe_node(const KeptNode& node)
{
    char text[64];
    std::snprintf(text, sizeof text, " %04o %u:%u", static_cast<unsigned>(node.mode & 07777), node.major, node.minor);
    return std::string(type_name(node.mode)) + text;
}

std::int64_t make_node(ReaderContext& context, const std::string& path, mode_t mode, dev_t dev)
{
    DeviceRequest making(context, {}, "mknod");
    making.line().add("path", path).add("mode", mode).add("dev", static_cast<std::uint64_t>(dev));
    if (const auto ended = making.start(FaultEnds::Any))
        return *ended;
    // As the kernel: no type means a regular file; a directory is refused.
    if ((mode & S_IFMT) == 0)
        mode |= S_IFREG;
    if ((mode & S_IFMT) == S_IFDIR)
        return making.finish(-EPERM);
    if (type_name(mode).empty())
        return making.finish(-EINVAL);
    KeptNodes nodes;
    if (const int e = locked_nodes(making, context.dir, nodes))
        return making.finish(-e);
    if (const int e = parent_error(nodes, path))
        return making.finish(-e);
    if (find_kept_node(nodes, path) != nullptr)
        return making.finish(-EEXIST);
    const bool device = S_ISBLK(mode) || S_ISCHR(mode);
    KeptNode node{path, mode & (S_IFMT | 07777), device ? ::major(dev) : 0, device ? ::minor(dev) : 0, nodes.next_id++};
    making.line().add("node", describe_node(node));
    nodes.nodes.push_back(std::move(node));
    if (const int e = save_nodes(context.dir, nodes))
        return making.finish(-e);
    return making.finish(0);
}

std::int64_t remove_node(ReaderContext& context, const std::string& path)
{
    DeviceRequest removing(context, {}, "unlink");
    removing.line().add("path", path);
    if (const auto ended = removing.start(FaultEnds::Any))
        return *ended;
    KeptNodes nodes;
    if (const int e = locked_nodes(removing, context.dir, nodes))
        return removing.finish(-e);
    if (const int e = parent_error(nodes, path))
        return removing.finish(-e);
    const auto it =
        std::find_if(nodes.nodes.begin(), nodes.nodes.end(), [&](const KeptNode& node) { return node.path == path; });
    if (it == nodes.nodes.end())
        return removing.finish(-ENOENT);
    nodes.nodes.erase(it);
    if (const int e = save_nodes(context.dir, nodes))
        return removing.finish(-e);
    return removing.finish(0);
}

std::int64_t stat_kept_node(ReaderContext& context, const std::string& path, struct stat& st)
{
    // A stat is a lookup of the name, not a request of a node: it is not
    // journaled and takes no fault.
    DeviceRequest lookup(context, {}, "stat");
    KeptNodes nodes;
    if (const int e = locked_nodes(lookup, context.dir, nodes))
        return -e;
    if (const int e = parent_error(nodes, path))
        return -e;
    const KeptNode* node = find_kept_node(nodes, path);
    if (node == nullptr)
        return -ENOENT;
    std::memset(&st, 0, sizeof st);
    st.st_mode = node->mode;
    st.st_nlink = 1;
    st.st_rdev = makedev(node->major, node->minor);
    st.st_ino = node->id;
    st.st_blksize = 4096;
    return 0;
}

std::int64_t open_kept_node(ReaderContext& context, const std::string& path, int flags)
{
    DeviceRequest opening(context, {}, "open");
    opening.line().add("path", path).add("flags", flags);
    if (const auto ended = opening.start_unfaulted())
        return *ended;
    KeptNodes nodes;
    if (const int e = locked_nodes(opening, context.dir, nodes))
        return opening.finish(-e);
    int error = parent_error(nodes, path);
    if (error == 0)
        error = find_kept_node(nodes, path) != nullptr ? ENXIO : ENOENT;
    return opening.finish(-error);
}

}  // namespace vreader
