// An open description of the framebuffer node: its memory (read, write,
// mmap) and the display controller's requests (ioctl).
#pragma once

#include "vreader/model/core/backed_file.hpp"

namespace vreader {

inline constexpr unsigned kFramebufferMajor = 29;
inline constexpr std::string_view kFramebufferDevice = "fb0";

class FramebufferFile final : public BackedFile {
public:
    // Journals the open; returns `fd` or -errno.
    static std::int64_t open(ReaderContext& context, const std::string& path, int flags, int fd,
                             std::unique_ptr<DeviceFile>& out);

    void fill_stat(struct stat& st) const override;
    std::int64_t ioctl(unsigned long request, void* arg) override;

private:
    using BackedFile::BackedFile;
    std::int64_t content_size() const override;
    // The framebuffer layer seeks as any character device does: SEEK_END
    // counts from the node's size, 0, not from the end of the memory.
    std::int64_t seek_end() const override { return 0; }
};

}  // namespace vreader
