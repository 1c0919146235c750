// An open description of the eMMC's block device node ("/dev/mmcblk2",
// "/dev/block/mmcblk2"): reads, writes, seeks, flushes and mappings of the
// eMMC's content. A seek past the end is refused, as a block device does.
#pragma once

#include "vreader/model/core/backed_file.hpp"

namespace vreader {

inline constexpr unsigned kMmcMajor = 179;
inline constexpr unsigned kMmcMinorsPerUnit = 8;

class EmmcFile final : public BackedFile {
public:
    // Journals the open; returns `fd` or -errno.
    static std::int64_t open(ReaderContext& context, const std::string& path, int flags, int fd,
                             std::unique_ptr<DeviceFile>& out);

    void fill_stat(struct stat& st) const override;
    std::int64_t fsync() override;

private:
    using BackedFile::BackedFile;
    std::int64_t content_size() const override;
    bool seeks_past_end() const override { return false; }
};

// What stat shows of an eMMC node.
void emmc_stat(const ReaderConfig& config, struct stat& st);

}  // namespace vreader
