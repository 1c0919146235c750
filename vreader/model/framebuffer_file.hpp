// An open description of the framebuffer node: its memory (read, write,
// mmap) and the display controller's requests (ioctl).
#pragma once

#include "vreader/model/device_file.hpp"
#include "vreader/model/reader_context.hpp"

#include <memory>
#include <string>

namespace vreader {

inline constexpr unsigned kFramebufferMajor = 29;

class FramebufferFile final : public DeviceFile {
public:
    // Journals the open; returns `fd` or -errno.
    static std::int64_t open(ReaderContext& context, const std::string& path, int flags, int fd,
                             std::unique_ptr<DeviceFile>& out);
    ~FramebufferFile() override;

    const std::string& path() const override { return path_; }
    void fill_stat(struct stat& st) const override;

    std::int64_t read(void* buf, std::size_t count) override;
    std::int64_t write(const void* buf, std::size_t count) override;
    std::int64_t pread(void* buf, std::size_t count, std::int64_t offset) override;
    std::int64_t pwrite(const void* buf, std::size_t count, std::int64_t offset) override;
    std::int64_t lseek(std::int64_t offset, int whence) override;
    std::int64_t ioctl(unsigned long request, void* arg) override;
    std::int64_t mmap(void* addr, std::size_t length, int prot, int flags, std::int64_t offset, void*& out) override;
    std::int64_t close() override;

private:
    FramebufferFile(ReaderContext& context, std::string path, int access, int memory_fd)
        : context_(context), path_(std::move(path)), access_(access), memory_fd_(memory_fd)
    {
    }
    std::int64_t transfer(bool writing, void* buf, std::size_t count, std::int64_t offset);

    ReaderContext& context_;
    std::string path_;
    int access_;     // O_RDONLY, O_WRONLY or O_RDWR
    int memory_fd_;  // fb0.mem
    std::int64_t position_ = 0;
};

}  // namespace vreader
