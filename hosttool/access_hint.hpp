// Why a reader volume may refuse to open for this user: on Linux the
// kernel passes a vendor command through a SCSI disk's block node only for
// a process with CAP_SYS_RAWIO, whatever the node's permissions; its
// generic node (/dev/sgN) takes it from anyone who opened it for reading
// and writing.
#pragma once

#include <string>

namespace tool {

// Text to add to the "does not open" message for `node`, or "" (not a
// block node, the process has CAP_SYS_RAWIO, or not Linux).
std::string access_hint(const std::string& node);

}  // namespace tool
