// Creating the named mutexes, with the reason when it fails.
#include "hosttool/named_mutexes.hpp"

#include "fendrac.h"
#include "hosttool/pc_io.hpp"

#include <cerrno>
#include <cstdlib>
#if defined(_WIN32)
#include <windows.h>
#endif

namespace tool {

bool create_named_mutexes(std::string& reason)
{
#if defined(_WIN32)
    // Held open for the run: a mutex lives while a handle to it does.
    static HANDLE handles[3];
    const char* names[3] = {FENDRAC_MUTEX_STATE1, FENDRAC_MUTEX_STATE2, FENDRAC_MUTEX_STATE3};
    for (int i = 0; i < 3; ++i) {
        if (handles[i] == nullptr && (handles[i] = CreateMutexA(nullptr, FALSE, names[i])) == nullptr) {
            reason = std::string("cannot create the library's mutex ") + names[i] + ": " + windows_text(GetLastError());
            return false;
        }
    }
    return true;
#else
    // The library says only whether it could; the system's reason is what
    // its last failing call left in errno, when it left one.
    errno = 0;
    if (MSC_CreateMutexes() == 1)
        return true;
    const int error = errno;
    reason = "cannot create the library's named mutexes (its lock files";
    if (const char* dir = std::getenv("FENDRAC_LOCK_DIR"); dir != nullptr && *dir != '\0')
        reason += std::string(", FENDRAC_LOCK_DIR is ") + dir;
    reason += ")";
    if (error != 0)
        reason += ": " + errno_text(error);
    return false;
#endif
}

}  // namespace tool
