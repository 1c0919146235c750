// How every journaled request of a model starts: a reader whose lock file
// cannot be used fails the request at once with that errno; otherwise the
// fault injected on the request is used up, and those that fail it outright
// end it here, journaled as injected.
#pragma once

#include "vreader/model/core/session.hpp"
#include "vreader/model/state/faults.hpp"
#include "vreader/model/state/json_line.hpp"

#include <cstdint>
#include <optional>
#include <string_view>

namespace vreader {

// Which injected faults end the request at its start: none (the model
// applies the fault itself), those with an errno (a short read or a lost
// write still goes on), or any that fired.
enum class FaultEnds { None, Errors, Any };

// Opens `request` on the node of `device` (empty for a request of no node),
// journaled in `line`. Returns the request's result when it ended here;
// otherwise nothing, with the fault it took (if any) in `fault`.
std::optional<std::int64_t> open_request(Session& session, JsonLine& line, std::string_view request,
                                         std::string_view device, FaultEnds ends, FaultHit& fault);

// The same for a request that needs the fault no further.
std::optional<std::int64_t> open_request(Session& session, JsonLine& line, std::string_view request,
                                         std::string_view device, FaultEnds ends);

}  // namespace vreader
