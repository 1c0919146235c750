// The library's own result codes: what the exports return, and what the
// commands and their phases hand back to them. The reader's own answers,
// which the exports pass on as they came, are protocol/vendor_results.hpp's.
#pragma once

#include "protocol/vendor_results.hpp"

#include <cstdint>

namespace fendrac {

inline constexpr std::int32_t kOk = 0;
inline constexpr std::int32_t kOutOfMemory = -1;
inline constexpr std::int32_t kFailed = -1;          // from the calls that tell no more than that
inline constexpr std::int32_t kExchangeFailed = -2;  // or a request refused before it was sent
inline constexpr std::int32_t kNoDrive = -3;
inline constexpr std::int32_t kShortPiece = -5;      // a piece of a file read came short
inline constexpr std::int32_t kBadArgument = -7;     // a request a command cannot send
inline constexpr std::int32_t kPhaseFailed = -13;    // a phase failed or its length differs
inline constexpr std::int32_t kReplyFailed = -15;    // codes 3 and 4: the reply exchange failed
inline constexpr std::int32_t kRequestFailed = -16;  // codes 3 and 4: the request exchange failed
inline constexpr std::int32_t kNotBuilt = -101;      // no command could be built
inline constexpr std::int32_t kPrepareFailed = -102;
inline constexpr std::int32_t kFinishFailed = -103;
inline constexpr std::int32_t kNotOffered = -500;  // the reader's protocol version lacks the command
inline constexpr std::int32_t kVolumeFailed = 22;  // a volume failed to open or to answer the INQUIRY

// A phase's result is the count of bytes it did not move, or one of these.
inline constexpr std::int32_t kEmptyPhaseFailed = -1;  // a phase of no bytes whose exchange failed
inline constexpr std::int32_t kNoBuffer = -2;          // ReceivePhase without a destination

inline constexpr std::int32_t kReaderLocked = protocol::vendor::kLocked;  // the reader's answer while it is locked

}  // namespace fendrac
