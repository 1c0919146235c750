#include "vreader/model/core/node_open.hpp"

#include "vreader/model/core/request_opening.hpp"

#include <fcntl.h>

namespace vreader {

std::int64_t journal_open(ReaderContext& context, const std::string& path, std::string_view device, int flags, int fd,
                          int& access, int failure)
{
    Session session = context.session();
    JsonLine line("open");
    line.add("path", path).add("flags", flags);
    if (const auto ended = open_request(session, line, "open", device, FaultEnds::Any))
        return *ended;
    access = flags & O_ACCMODE;
    if (access == O_ACCMODE)
        return session.finish(line, -EINVAL, false);
    return session.finish(line, failure != 0 ? -failure : fd, false);
}

}  // namespace vreader
