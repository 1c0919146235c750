#include "vreader/model/core/request_opening.hpp"

namespace vreader {

std::optional<std::int64_t> open_request(Session& session, JsonLine& line, std::string_view request,
                                         std::string_view device, FaultEnds ends, FaultHit& fault)
{
    if (const int e = session.error())
        return session.finish(line, -e, false);
    fault = session.take_fault(request, device);
    const bool ending = ends == FaultEnds::Any || (ends == FaultEnds::Errors && fault.kind == FaultKind::Error);
    if (fault.fired && ending)
        return session.finish(line, -fault.error, true);
    return std::nullopt;
}

std::optional<std::int64_t> open_request(Session& session, JsonLine& line, std::string_view request,
                                         std::string_view device, FaultEnds ends)
{
    FaultHit unused;
    return open_request(session, line, request, device, ends, unused);
}

}  // namespace vreader
