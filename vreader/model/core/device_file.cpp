#include "vreader/model/core/device_file.hpp"

#include <sys/sysmacros.h>

#include <cstring>

namespace vreader {

void char_device_stat(struct stat& st, unsigned major, unsigned minor)
{
    std::memset(&st, 0, sizeof st);
    st.st_mode = S_IFCHR | 0660;
    st.st_nlink = 1;
    st.st_rdev = makedev(major, minor);
    st.st_blksize = 4096;
}

}  // namespace vreader
