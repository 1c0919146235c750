#include "vreader/model/core/attribute_file.hpp"

#include <unistd.h>

#include <cstring>

namespace vreader {

void attribute_stat(const ReaderConfig&, struct stat& st)
{
    st.st_mode = S_IFREG | 0644;
    st.st_nlink = 1;
    st.st_size = kAttributeSize;
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

void AttributeFile::fill_stat(struct stat& st) const
{
    std::memset(&st, 0, sizeof st);
    attribute_stat(context_.dir.config(), st);
}

std::int64_t AttributeFile::read(void* buf, std::size_t count)
{
    const std::int64_t n = pread(buf, count, position_);
    if (n > 0)
        position_ += n;
    return n;
}

std::int64_t AttributeFile::write(const void* buf, std::size_t count)
{
    const std::int64_t n = store(buf, count);
    if (n > 0)
        position_ += n;
    return n;
}

}  // namespace vreader
