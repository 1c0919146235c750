// What the reader's answers mean where the library hands them over as
// data: the reader's failure codes are negative 32-bit numbers.
#pragma once

#include "protocol/vendor_results.hpp"

#include <optional>

namespace tool {

// The reader's answer to a size query for a file that does not exist; a
// write at position 0 creates it.
inline constexpr int kReaderNoSuchFile = protocol::vendor::kNoSuchFile;

// The reader's answer to an unlock with the wrong code.
inline constexpr int kReaderLocked = protocol::vendor::kLocked;

// A partition size query that the reader refused (a missing partition,
// normal mode) answers its code in all three words; a partition's own
// words are any three numbers, so only three equal negative words are a
// refusal.
std::optional<int> partition_size_refusal(const unsigned (&words)[3]);

}  // namespace tool
