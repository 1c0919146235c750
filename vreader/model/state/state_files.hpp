// The files of a reader's directory that every model and the launcher use,
// the USB side included:
//
//     reader.conf    how the reader was built (key=value); a directory is a
//                    reader once it is there
//     faults         injected faults
//     faults.wake    named pipe: wakes a program's waiting poll when faults change
//     faults.at      the "at N" fault a program took and has not reached yet,
//                    for `vreader run` to tell when the program ended first
//     journal.jsonl  every device request, one JSON object per line
//     lock           taken (flock) around every change of the reader's files
//
// Each device names its own files beside its model.
#pragma once

#include <string_view>

namespace vreader {

inline constexpr std::string_view kConfigFile = "reader.conf";
inline constexpr std::string_view kFaultsFile = "faults";
inline constexpr std::string_view kFaultsWake = "faults.wake";
inline constexpr std::string_view kAtClaimedFile = "faults.at";
inline constexpr std::string_view kJournalFile = "journal.jsonl";
inline constexpr std::string_view kLockFile = "lock";

}  // namespace vreader
