// A device node whose content is a file of the reader's directory: the
// framebuffer's memory (fb0.mem), the eMMC (emmc.img). Reads, writes, seeks
// and mappings reach that file within the device's size. Each is journaled
// and can be failed by an injected fault on the node; a read or write can
// also be cut short, and a write lost.
#pragma once

#include "vreader/model/core/host_fd.hpp"
#include "vreader/model/core/node_file.hpp"

#include <memory>
#include <string>
#include <string_view>

namespace vreader {

class BackedFile : public NodeFile {
public:
    std::int64_t read(void* buf, std::size_t count) override;
    std::int64_t write(const void* buf, std::size_t count) override;
    std::int64_t pread(void* buf, std::size_t count, std::int64_t offset) override;
    std::int64_t pwrite(const void* buf, std::size_t count, std::int64_t offset) override;
    std::int64_t lseek(std::int64_t offset, int whence) override;
    std::int64_t mmap(void* addr, std::size_t length, int prot, int flags, std::int64_t offset, void*& out) override;
    // Writes reach the content at once: there is nothing to flush.
    std::int64_t fsync() override { return 0; }

protected:
    struct Node {
        std::string path;     // as the program named it
        std::string device;   // kernel name, for faults
        std::string backing;  // the file that holds the content
    };

    // Journals the open of `node` and opens its backing file. Returns `fd`
    // or -errno; on success `access` and `backing` describe the opening.
    static std::int64_t open_node(ReaderContext& context, const Node& node, int flags, int fd, int& access,
                                  HostFd& backing);

    // cppcheck-suppress passedByValue ; taken by value to move its strings in
    BackedFile(ReaderContext& context, Node node, int access, HostFd backing)
        : NodeFile(context, std::move(node.path), node.device, access), backing_(std::move(backing))
    {
    }

    // Bytes of content the device has.
    virtual std::int64_t content_size() const = 0;
    // Whether the position may be set past the end (a block device refuses).
    virtual bool seeks_past_end() const { return true; }
    // Where SEEK_END counts from: the end of the content (a block device's
    // size), or for a node whose driver keeps the kernel's default seek, the
    // size of the node itself, which is 0.
    virtual std::int64_t seek_end() const { return content_size(); }
    // Whether a mapping may reach past the end (a block device's does, and
    // faults when touched there; the backing file must be the device's size).
    virtual bool maps_past_end() const { return false; }
    // What a write of `count` bytes starting past the end gives: the
    // framebuffer refuses it as too large whatever its count; a block device
    // takes an empty write and refuses others for want of space.
    virtual std::int64_t write_past_end(std::size_t count) const
    {
        (void)count;
        return -EFBIG;
    }

private:
    std::int64_t transfer(bool writing, void* buf, std::size_t count, std::int64_t offset);
    void release() override { backing_.reset(); }

    HostFd backing_;
    std::int64_t position_ = 0;
};

}  // namespace vreader
