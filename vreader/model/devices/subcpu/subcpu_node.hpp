// The sub-CPU's character device, /dev/sub_cpu, and the SPI controller's
// control_mode attribute that hands the link to user space.
//
// The device takes one whole request packet a write and hands back the
// reply to the next read; it answers only while the control mode is
// "update" (otherwise a write fails with EBUSY, the kernel owning the link).
// The attribute takes the words "update" and "normal".
#pragma once

#include "vreader/model/core/device_file.hpp"
#include "vreader/model/core/host_fd.hpp"
#include "vreader/model/core/reader_context.hpp"
#include "vreader/model/core/watched_file.hpp"
#include "vreader/model/devices/subcpu/subcpu_state.hpp"

#include <memory>
#include <optional>
#include <vector>

namespace vreader {

inline constexpr std::string_view kSubCpuDevice = "sub_cpu";
inline constexpr std::string_view kControlModeDevice = "control_mode";
inline constexpr unsigned kSubCpuMinor = 60;

// The attribute's path on this board: chip select 2, or 0 on older boards.
std::string control_mode_path(const ReaderConfig& config);

// The sub-CPU's kept state, for a model or the launcher.
bool load_subcpu(const ReaderDir& dir, SubCpuState& out, std::string& error);
int save_subcpu(const ReaderDir& dir, const SubCpuState& state);

class SubCpuNode final : public DeviceFile {
public:
    static std::int64_t open(ReaderContext& context, const std::string& path, int flags, int fd,
                             std::unique_ptr<DeviceFile>& out);

    const std::string& path() const override { return path_; }
    void fill_stat(struct stat& st) const override;
    std::int64_t read(void* buf, std::size_t count) override;
    std::int64_t write(const void* buf, std::size_t count) override;
    std::int64_t close() override;

private:
    SubCpuNode(ReaderContext& context, std::string path, int access);
    // Carries out a request the firmware takes; the reply waits for the read.
    void request(Session& session, const std::vector<std::uint8_t>& packet, SubCpuState& state);

    ReaderContext& context_;
    std::string path_;
    int access_;
    HostFd flash_fds_[3];  // the two clusters and the received record
    std::vector<std::uint8_t> reply_;
};

class ControlModeFile final : public DeviceFile {
public:
    static std::int64_t open(ReaderContext& context, const std::string& path, int flags, int fd,
                             std::unique_ptr<DeviceFile>& out);

    const std::string& path() const override { return path_; }
    void fill_stat(struct stat& st) const override;
    std::int64_t read(void* buf, std::size_t count) override;
    std::int64_t pread(void* buf, std::size_t count, std::int64_t offset) override;
    std::int64_t lseek(std::int64_t offset, int whence) override;
    std::int64_t write(const void* buf, std::size_t count) override;
    // A store is the bytes of one write, wherever it starts.
    std::int64_t pwrite(const void* buf, std::size_t count, std::int64_t) override { return store(buf, count); }
    // sysfs flushes nothing and says so with success.
    std::int64_t fsync() override { return 0; }
    std::int64_t close() override;

private:
    ControlModeFile(ReaderContext& context, std::string path, int access)
        : context_(context), path_(std::move(path)), access_(access)
    {
    }
    // One write's store, journaled: the count taken, or -errno.
    std::int64_t store(const void* buf, std::size_t count);

    ReaderContext& context_;
    std::string path_;
    int access_;
    std::int64_t position_ = 0;
};

}  // namespace vreader
