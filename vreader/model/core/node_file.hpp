// An open description of a node a device model serves, and what every one
// shares: the reader it belongs to, the path it was opened by, the node's
// kernel name (which faults are scoped to), the access it was opened with,
// its requests, and its close. A close lets go of what the device holds
// first, then is a request like any other: journaled, checked and faulted
// as "close"; the descriptor is gone whatever its result.
#pragma once

#include "vreader/model/core/device_file.hpp"
#include "vreader/model/core/device_request.hpp"
#include "vreader/model/core/reader_context.hpp"

#include <fcntl.h>

#include <string>
#include <string_view>

namespace vreader {

class NodeFile : public DeviceFile {
public:
    const std::string& path() const override { return path_; }
    std::int64_t close() final;

protected:
    NodeFile(ReaderContext& context, std::string path, std::string_view device, int access)
        : context_(context), path_(std::move(path)), device_(device), access_(access)
    {
    }

    // A request on this node, journaled and faulted as `name`, or journaled
    // as `name` and faulted as `fault_name`.
    DeviceRequest node_request(std::string_view name) { return {context_, device_, name}; }
    DeviceRequest node_request(std::string_view name, std::string_view fault_name)
    {
        return {context_, device_, name, fault_name};
    }

    // What the device lets go of when the node is closed (a descriptor, a
    // queue), before the close is journaled.
    virtual void release() {}

    // Whether `name` on this node would fail at once with an injected
    // errno, so that a request which would wait for input fails instead.
    bool fails_at_once(std::string_view name) { return context_.session().fault_pending(name, device_); }

    ReaderContext& context_;
    std::string path_;
    std::string device_;
    int access_;  // O_RDONLY, O_WRONLY or O_RDWR
};

}  // namespace vreader
