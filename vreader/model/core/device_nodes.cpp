#include "vreader/model/core/device_nodes.hpp"

#include <cstring>

namespace vreader {

const DeviceNode* find_node(const ReaderConfig& config, std::string_view dev_path)
{
    if (dev_path == "/dev")
        return &kDirectoryNode;
    for (const DeviceRow* row : devices())
        if (row->find_node != nullptr)
            if (const DeviceNode* node = row->find_node(config, dev_path))
                return node;
    return nullptr;
}

void node_stat(const ReaderConfig& config, const DeviceNode& node, struct stat& st)
{
    std::memset(&st, 0, sizeof st);
    st.st_blksize = 4096;
    node.stat(config, st);
}

std::int64_t open_node(ReaderContext& context, const std::string& dev_path, int flags, int fd,
                       std::unique_ptr<DeviceFile>& out)
{
    const DeviceNode* node = find_node(context.dir.config(), dev_path);
    if (node != nullptr && node->open != nullptr)
        return node->open(context, dev_path, flags, fd, out);

    // Nodes that do not exist and directories cannot be opened; the attempt
    // is journaled all the same.
    // Only a fault on the Nth request reaches it: a fault set by name on
    // "open" is for the nodes that are there.
    const int error = node != nullptr ? EISDIR : ENOENT;
    Session session = context.session();
    JsonLine line("open");
    line.add("path", dev_path).add("flags", flags);
    const FaultHit fault = session.take_at_fault("open");
    line.set_result(-1, fault.fired ? fault.error : error, fault.fired);
    session.record(line);
    return -(fault.fired ? fault.error : error);
}

}  // namespace vreader
