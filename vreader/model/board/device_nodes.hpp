// The virtual /dev tree: which nodes exist on this reader, what stat shows of
// them, and opening them.
#pragma once

#include "vreader/model/core/device_file.hpp"
#include "vreader/model/core/reader_context.hpp"

#include <memory>
#include <string>
#include <string_view>

namespace vreader {

enum class NodeKind { None, Directory, Framebuffer, Emmc, Uart, GadgetSerial, SubCpu, ControlMode, Input, Modem,
                      PastLogControl, PastLog, LunAttribute };

// `dev_path` is absolute and normalised ("/dev" or "/dev/..."); the
// attributes of /sys that a model answers are found here too.
NodeKind find_node(const ReaderConfig& config, std::string_view dev_path);

// stat of an existing node.
void node_stat(const ReaderConfig& config, NodeKind kind, struct stat& st);

// Opens the node at `dev_path` as descriptor `fd` (reserved by the caller)
// and journals the attempt. Returns `fd` or -errno.
std::int64_t open_node(ReaderContext& context, const std::string& dev_path, int flags, int fd,
                       std::unique_ptr<DeviceFile>& out);

}  // namespace vreader
