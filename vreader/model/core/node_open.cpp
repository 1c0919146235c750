#include "vreader/model/core/node_open.hpp"

#include "vreader/model/core/device_request.hpp"

#include <fcntl.h>

namespace vreader {

std::int64_t journal_open(ReaderContext& context, const std::string& path, std::string_view device, int flags, int fd,
                          int& access, int failure)
{
    DeviceRequest open(context, device, "open");
    open.line().add("path", path).add("flags", flags);
    if (const auto ended = open.start(FaultEnds::Any))
        return *ended;
    access = flags & O_ACCMODE;
    if (access == O_ACCMODE)
        return open.finish(-EINVAL);
    return open.finish(failure != 0 ? -failure : fd);
}

}  // namespace vreader
