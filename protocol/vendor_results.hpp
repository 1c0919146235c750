// The reader's own answers to the vendor commands (vendor_commands.hpp) that
// the PC library hands to its caller as they came: negative 32-bit values,
// clear of the library's own codes (-1 to -16, -101 to -103), so that a
// caller can tell the two apart.
#pragma once

#include <cstdint>

namespace protocol::vendor {

// Code 4 while the reader is locked and the code is wrong.
inline constexpr std::int32_t kLocked = -5;

// The file service (codes 128 to 131).
inline constexpr std::int32_t kNoSuchFile = -201;    // the file does not exist
inline constexpr std::int32_t kBadPosition = -202;   // negative position or length, or beyond the end
inline constexpr std::int32_t kPathRefused = -203;   // a path that names no file the reader keeps
inline constexpr std::int32_t kIoFailure = -204;     // the reader's storage failed
inline constexpr std::int32_t kNotAFile = -205;      // the path names a folder
inline constexpr std::int32_t kFileTooLarge = -206;  // a size that 31 bits cannot carry

// Update mode and partitions (codes 112 to 116).
inline constexpr std::int32_t kBadMode = -211;          // a mode other than 0 (normal) or 1 (update)
inline constexpr std::int32_t kNotInUpdateMode = -212;  // a partition command in normal mode
inline constexpr std::int32_t kBadName = -213;          // an empty or unusable partition name or tag
inline constexpr std::int32_t kPartitionExists = -214;  // create with a name already taken
inline constexpr std::int32_t kNoSuchPartition = -215;  // the partition does not exist
inline constexpr std::int32_t kImageIncomplete = -216;  // fewer image bytes came than announced

}  // namespace protocol::vendor
