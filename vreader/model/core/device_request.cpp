#include "vreader/model/core/device_request.hpp"

namespace vreader {

DeviceRequest::DeviceRequest(ReaderContext& context, std::string_view device, std::string_view name,
                             std::string_view fault_name)
    : session_(context.session()), line_(name), device_(device), fault_name_(fault_name)
{
}

std::optional<std::int64_t> DeviceRequest::start(FaultEnds ends)
{
    if (const auto ended = start_unfaulted())
        return ended;
    fault_ = session_.take_fault(fault_name_, device_);
    const bool ending = ends == FaultEnds::Any || (ends == FaultEnds::Errors && fault_.kind == FaultKind::Error);
    if (fault_.fired && ending)
        return session_.finish(line_, -fault_.error, true);
    return std::nullopt;
}

std::optional<std::int64_t> DeviceRequest::start_unfaulted()
{
    if (const int e = session_.error())
        return session_.finish(line_, -e, false);
    return std::nullopt;
}

std::int64_t DeviceRequest::finish(std::int64_t result, bool injected)
{
    return session_.finish(line_, result, injected);
}

}  // namespace vreader
