// The virtual /dev tree: which nodes exist on this reader, what stat shows of
// them, and opening them. The devices of the table supply the nodes.
#pragma once

#include "vreader/model/core/device_file.hpp"
#include "vreader/model/core/device_row.hpp"
#include "vreader/model/core/reader_context.hpp"

#include <memory>
#include <string>
#include <string_view>

namespace vreader {

// The node at `dev_path`, absolute and normalised ("/dev" or "/dev/..."),
// or null; the attributes of /sys that a model answers are found here too.
const DeviceNode* find_node(const ReaderConfig& config, std::string_view dev_path);

// stat of an existing node.
void node_stat(const ReaderConfig& config, const DeviceNode& node, struct stat& st);

// Opens the node at `dev_path` as descriptor `fd` (reserved by the caller)
// and journals the attempt. Returns `fd` or -errno.
std::int64_t open_node(ReaderContext& context, const std::string& dev_path, int flags, int fd,
                       std::unique_ptr<DeviceFile>& out);

}  // namespace vreader
