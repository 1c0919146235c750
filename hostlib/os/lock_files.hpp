// The named mutexes as lock files (`lock_file_mutexes.cpp`): "Global\NAME"
// is NAME.lock in the lock directory, held with flock, so that the mutexes
// are machine-wide as on Windows. Each binding that takes them says where
// the directory is.
#pragma once

#include <string>

namespace hostos::lock_files {

// The folder of the lock files; empty when there is none.
std::string directory();

}  // namespace hostos::lock_files
