// A device node whose content is a file of the reader's directory: the
// framebuffer's memory (fb0.mem), the eMMC (emmc.img). Reads, writes, seeks
// and mappings reach that file within the device's size. Each is journaled
// and can be failed by an injected fault on the node; a read or write can
// also be cut short, and a write lost.
#pragma once

#include "vreader/model/core/device_file.hpp"
#include "vreader/model/core/reader_context.hpp"

#include <memory>
#include <string>
#include <string_view>

namespace vreader {

class BackedFile : public DeviceFile {
public:
    ~BackedFile() override;

    const std::string& path() const override { return path_; }

    std::int64_t read(void* buf, std::size_t count) override;
    std::int64_t write(const void* buf, std::size_t count) override;
    std::int64_t pread(void* buf, std::size_t count, std::int64_t offset) override;
    std::int64_t pwrite(const void* buf, std::size_t count, std::int64_t offset) override;
    std::int64_t lseek(std::int64_t offset, int whence) override;
    std::int64_t mmap(void* addr, std::size_t length, int prot, int flags, std::int64_t offset, void*& out) override;
    std::int64_t close() override;

protected:
    struct Node {
        std::string path;    // as the program named it
        std::string device;  // kernel name, for faults
        std::string backing;  // the file that holds the content
    };

    // Journals the open of `node` and opens its backing file. Returns `fd`
    // or -errno; on success `access` and `backing_fd` describe the opening.
    static std::int64_t open_node(ReaderContext& context, const Node& node, int flags, int fd, int& access,
                                  int& backing_fd);

    BackedFile(ReaderContext& context, Node node, int access, int backing_fd)
        : context_(context), path_(std::move(node.path)), device_(std::move(node.device)), access_(access),
          backing_fd_(backing_fd)
    {
    }

    // Bytes of content the device has.
    virtual std::int64_t content_size() const = 0;
    // Whether the position may be set past the end (a block device refuses).
    virtual bool seeks_past_end() const { return true; }

    // The node's kernel name, which faults are scoped to.
    const std::string& device() const { return device_; }

    ReaderContext& context_;

private:
    std::int64_t transfer(bool writing, void* buf, std::size_t count, std::int64_t offset);

    std::string path_;
    std::string device_;
    int access_;  // O_RDONLY, O_WRONLY or O_RDWR
    int backing_fd_;
    std::int64_t position_ = 0;
};

}  // namespace vreader
