// Opening a modelled device node, as every model journals it: the reader's
// lock file, an injected "open" fault for the node, the access mode.
#pragma once

#include "vreader/model/core/reader_context.hpp"

#include <cstdint>
#include <string>
#include <string_view>

namespace vreader {

// Journals the open of `path` (the node of `device`) as descriptor `fd`.
// Returns `fd` with the access mode in `access`, or -errno; `failure` is the
// errno to fail with when the model could not make the node ready.
std::int64_t journal_open(ReaderContext& context, const std::string& path, std::string_view device, int flags, int fd,
                          int& access, int failure = 0);

}  // namespace vreader
