// The past-log driver's control requests, by number and by the name the
// journal and the faults file use, and what a process has got of the
// unlock handshake.
#pragma once

#include <cstdint>
#include <string_view>

namespace vreader::past_log {

struct Request {
    std::uint32_t number;
    std::string_view name;
};

inline constexpr Request kFlush{1, "PASTLOG_FLUSH"};
inline constexpr Request kChallenge{3, "PASTLOG_CHALLENGE"};    // fills in a challenge
inline constexpr Request kComplement{4, "PASTLOG_COMPLEMENT"};  // takes ~challenge
inline constexpr Request kConfirm{5, "PASTLOG_CONFIRM"};        // takes ~challenge ^ kHandshakeKey
inline constexpr Request kRequests[] = {kFlush, kChallenge, kComplement, kConfirm};

inline constexpr std::uint32_t kHandshakeKey = 0x5A17C3E9;

// The driver holds the unlock per opener: a process that completed the
// handshake may open the log node until it ends.
struct Access {
    enum class Step { Idle, Challenged, Complemented };
    Step step = Step::Idle;
    std::uint32_t challenge = 0;
    bool unlocked = false;
};

}  // namespace vreader::past_log
