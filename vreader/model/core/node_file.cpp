#include "vreader/model/core/node_file.hpp"

namespace vreader {

std::int64_t NodeFile::close()
{
    release();
    DeviceRequest closing = node_request("close");
    closing.line().add("path", path_);
    if (const auto ended = closing.start(FaultEnds::None))
        return *ended;
    return closing.finish_injected();
}

}  // namespace vreader
