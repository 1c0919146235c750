// Result codes shared by the command frame.
#pragma once

#include "protocol/vendor_results.hpp"

#include <cstdint>

namespace fendrac {

inline constexpr std::int32_t kOk = 0;
inline constexpr std::int32_t kNoBuffer = -2;        // ReceivePhase without a destination
inline constexpr std::int32_t kPhaseFailed = -13;    // a phase failed or its length differs
inline constexpr std::int32_t kReplyFailed = -15;    // codes 3 and 4: the reply exchange failed
inline constexpr std::int32_t kRequestFailed = -16;  // codes 3 and 4: the request exchange failed
inline constexpr std::int32_t kNotBuilt = -101;      // no command could be built
inline constexpr std::int32_t kPrepareFailed = -102;
inline constexpr std::int32_t kFinishFailed = -103;

inline constexpr std::int32_t kReaderLocked = protocol::vendor::kLocked;  // the reader's answer while it is locked

}  // namespace fendrac
