// Device nodes that programs make under /tmp/lun* (the names directly in
// /tmp that begin with "lun"), where the hot-plug daemon makes the block
// nodes it hands to the USB gadget. The virtual reader keeps them in
// nodes.list in its directory and never creates or removes anything in the
// host's /tmp: mknod, unlink, stat and open of those names reach only the
// kept nodes. Each node has an id, so that a node made again at the same
// name is told from the one a gadget LUN still holds.
#pragma once

#include "vreader/model/core/reader_context.hpp"

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vreader {

inline constexpr std::string_view kNodesFile = "nodes.list";

struct KeptNode {
    std::string path;  // absolute, normalised: "/tmp/lun0"
    mode_t mode = 0;   // type and permission bits: S_IFBLK | 0600
    unsigned major = 0;
    unsigned minor = 0;
    std::uint64_t id = 0;
};

struct KeptNodes {
    std::vector<KeptNode> nodes;
    std::uint64_t next_id = 1;
};

// "/tmp/lun0", "/tmp/lunX/y": names the virtual reader keeps to itself.
bool is_kept_node_path(std::string_view normal_path);

// A missing file is an empty list. 0 or an errno value; `why` says what is
// wrong with a file that does not parse (EINVAL).
int load_nodes(const ReaderDir& dir, KeptNodes& out, std::string& why);
int save_nodes(const ReaderDir& dir, const KeptNodes& nodes);

const KeptNode* find_kept_node(const KeptNodes& nodes, std::string_view path);

// "block 0600 179:68"
std::string describe_node(const KeptNode& node);

// The system calls on those names, journaled ("mknod" with path, mode, dev,
// node; "unlink" with path; "open" with path, flags), with the faults
// "mknod" and "unlink". 0 (or the open's never-returned descriptor) or -errno.
std::int64_t make_node(ReaderContext& context, const std::string& path, mode_t mode, dev_t dev);
std::int64_t remove_node(ReaderContext& context, const std::string& path);
std::int64_t stat_kept_node(ReaderContext& context, const std::string& path, struct stat& st);
// No device stands behind a kept node: opening one fails with ENXIO, a
// missing name with ENOENT (O_CREAT makes no file there either).
std::int64_t open_kept_node(ReaderContext& context, const std::string& path, int flags);

}  // namespace vreader
