// A transfer of a file in pieces, so that a progress bar can follow it:
// one library command per piece, at increasing positions.
#pragma once

#include <functional>

namespace tool {

inline constexpr int kPieceBytes = 256 * 1024;
inline constexpr long long kProgressFrom = 1024 * 1024;  // larger transfers show progress

// Calls `move(position, length)` for each piece of `total` bytes (once with
// a length of 0 for an empty transfer) until one returns non-zero, and
// returns that result or 0. With `progress`, a bar on standard error
// follows the bytes moved. SIGINT and SIGTERM (Ctrl-C) stop it between
// pieces and set `interrupted`, so that the drive is still closed as it
// should be.
int move_in_pieces(long long total, bool progress, bool& interrupted,
                   const std::function<int(int position, int length)>& move);

// Whether a transfer of `total` bytes shows its progress: over 1 MiB, and
// standard error is a terminal.
bool shows_progress(long long total);

}  // namespace tool
