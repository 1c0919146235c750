// Transfers of a file in pieces: one library command per piece, at
// increasing positions, so that memory stays the same whatever the size,
// an interrupt can stop between two pieces, and a progress bar can follow.
#pragma once

#include <climits>

namespace tool {

inline constexpr int kPieceBytes = 256 * 1024;
// The reader's file positions and lengths are signed 32-bit numbers.
inline constexpr long long kLargestFile = INT_MAX;
inline constexpr long long kProgressFrom = 1024LL * 1024;  // larger transfers show progress

// Whether a transfer of `total` bytes shows its progress: over 1 MiB, and
// standard error is a terminal.
bool shows_progress(long long total);

// A bar on standard error that follows the bytes moved, when `shown`.
class Progress {
public:
    Progress(long long total, bool shown);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void moved(long long done);

private:
    long long total_;
    bool shown_;
};

}  // namespace tool
