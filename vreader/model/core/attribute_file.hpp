// An attribute of /sys that a model answers, served as sysfs serves every
// attribute: a regular file of a page; reads and writes move a position
// that seeks set (from the start, the position or the page's end, never
// before the start); each write is one store of its bytes, wherever it
// starts; a flush has nothing to do and succeeds.
#pragma once

#include "vreader/model/core/node_file.hpp"

#include <cstdint>

namespace vreader {

// A /sys attribute's size as stat shows it: a page.
inline constexpr std::int64_t kAttributeSize = 4096;

// What stat shows of an attribute, into a zeroed `st`.
void attribute_stat(const ReaderConfig& config, struct stat& st);

// A seek on an attribute from `position`: the new position, or -errno.
std::int64_t attribute_seek(std::int64_t& position, std::int64_t offset, int whence);

class AttributeFile : public NodeFile {
public:
    void fill_stat(struct stat& st) const final;
    std::int64_t read(void* buf, std::size_t count) final;
    std::int64_t write(const void* buf, std::size_t count) final;
    std::int64_t pwrite(const void* buf, std::size_t count, std::int64_t) final { return store(buf, count); }
    std::int64_t lseek(std::int64_t offset, int whence) final { return attribute_seek(position_, offset, whence); }
    std::int64_t fsync() final { return 0; }

protected:
    using NodeFile::NodeFile;

    // One write's store, journaled: the count taken, or -errno.
    virtual std::int64_t store(const void* buf, std::size_t count) = 0;

private:
    std::int64_t position_ = 0;
};

}  // namespace vreader
