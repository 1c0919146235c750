// The past-log driver's control requests, by number and by the name the
// journal and the faults file use, and what a process has got of the
// unlock handshake.
#pragma once

#include "protocol/past_log_requests.hpp"
#include "vreader/model/state/faults.hpp"

#include <cstdint>
#include <string_view>

namespace vreader::past_log {

struct Request {
    std::uint32_t number;
    std::string_view name;
};

inline constexpr Request kFlush{protocol::past_log::kFlush, "PASTLOG_FLUSH"};
inline constexpr Request kChallenge{protocol::past_log::kChallenge, "PASTLOG_CHALLENGE"};
inline constexpr Request kComplement{protocol::past_log::kComplement, "PASTLOG_COMPLEMENT"};
inline constexpr Request kConfirm{protocol::past_log::kConfirm, "PASTLOG_CONFIRM"};
inline constexpr Request kRequests[] = {kFlush, kChallenge, kComplement, kConfirm};

// Their names for the faults file; the handshake's answers can be rejected.
inline constexpr DeviceFaultRequest kFaultRequests[] = {
    {kFlush.name}, {kChallenge.name}, {kComplement.name, true}, {kConfirm.name, true}};

using protocol::past_log::kHandshakeKey;

// The driver holds the unlock per opener: a process that completed the
// handshake may open the log node until it ends.
struct Access {
    enum class Step { Idle, Challenged, Complemented };
    Step step = Step::Idle;
    std::uint32_t challenge = 0;
    bool unlocked = false;
};

}  // namespace vreader::past_log
