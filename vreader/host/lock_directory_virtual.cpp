// Where the virtual reader's native library keeps the named mutexes as lock
// files: $FENDRAC_LOCK_DIR when set, as for the Linux library; else the
// reader's own folder, which stands for the PC as well, so that every
// process working on one reader shares them, as the processes of one
// Windows machine share its mutexes.
#include "hostlib/os/lock_files.hpp"
#include "vreader/host/reader_link.hpp"

#include <cstdlib>

namespace hostos {

std::string lock_files::directory()
{
    if (const char* dir = std::getenv("FENDRAC_LOCK_DIR"); dir != nullptr && *dir != '\0')
        return dir;
    return virtual_reader::directory();
}

}  // namespace hostos
