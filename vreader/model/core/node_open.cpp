#include "vreader/model/core/node_open.hpp"

#include <fcntl.h>

namespace vreader {


std::int64_t journal_open(ReaderContext& context, const std::string& path, std::string_view device, int flags,
                          int fd, int& access, int failure)
{
    Session session = context.session();
    JsonLine line("open");
    line.add("path", path).add("flags", flags);
    if (const int e = session.error())
        return session.finish(line, -e, false);
    if (const FaultHit fault = session.take_fault("open", device); fault.fired)
        return session.finish(line, -fault.error, true);
    access = flags & O_ACCMODE;
    if (access == O_ACCMODE)
        return session.finish(line, -EINVAL, false);
    return session.finish(line, failure != 0 ? -failure : fd, false);
}

}  // namespace vreader
