#include "vreader/model/core/device_file.hpp"

#include <sys/sysmacros.h>
#include <unistd.h>

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

std::int64_t attribute_seek(std::int64_t& position, std::int64_t offset, int whence)
{
    std::int64_t base = 0;
    if (whence == SEEK_CUR)
        base = position;
    else if (whence == SEEK_END)
        base = kAttributeSize;
    else if (whence != SEEK_SET)
        return -EINVAL;
    if ((offset < 0 && base + offset < 0) || (offset > 0 && base > INT64_MAX - offset))
        return -EINVAL;
    return position = base + offset;
}

}  // namespace vreader
