// An open description of the eMMC's block device node ("/dev/mmcblk2",
// "/dev/block/mmcblk2"): reads, writes, seeks, flushes and mappings of the
// eMMC's content. A seek past the end is refused, as a block device does;
// a mapping past the end is made, and faults where it is touched there.
// The block layer's size and block-size queries are answered; any other
// request reaches the MMC driver, which refuses it with EINVAL (a terminal
// request too).
#pragma once

#include "vreader/model/core/backed_file.hpp"
#include "vreader/model/devices/emmc/mmc_block_devices.hpp"

namespace vreader {

class EmmcFile final : public BackedFile {
public:
    // Journals the open; returns `fd` or -errno.
    static std::int64_t open(ReaderContext& context, const std::string& path, int flags, int fd,
                             std::unique_ptr<DeviceFile>& out);

    void fill_stat(struct stat& st) const override;
    std::int64_t fsync() override;
    std::int64_t ioctl(unsigned long request, void* arg) override;
    std::int64_t tcgetattr(struct termios&) override { return -EINVAL; }
    std::int64_t tcsetattr(int, const struct termios&) override { return -EINVAL; }

private:
    using BackedFile::BackedFile;
    std::int64_t content_size() const override;
    bool seeks_past_end() const override { return false; }
    bool maps_past_end() const override { return true; }
    std::int64_t write_past_end(std::size_t count) const override { return count == 0 ? 0 : -ENOSPC; }
};

// What stat shows of an eMMC node.
void emmc_stat(const ReaderConfig& config, struct stat& st);

}  // namespace vreader
