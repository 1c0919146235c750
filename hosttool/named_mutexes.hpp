// The library's three named mutexes, which a host application creates
// before it uses the library (fendrac.h): on Windows with CreateMutex, on
// Linux through the library's MSC_CreateMutexes (its lock files).
#pragma once

#include <string>

namespace tool {

// True when all three exist; else false with `reason` saying why, as far
// as the system or the library tells.
bool create_named_mutexes(std::string& reason);

}  // namespace tool
