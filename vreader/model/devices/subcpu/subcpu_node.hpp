// The sub-CPU's character device, /dev/sub_cpu, and the SPI controller's
// control_mode attribute that hands the link to user space.
//
// The device takes one whole request packet a write and hands back the
// reply to the next read; it answers only while the control mode is
// "update" (otherwise a write fails with EBUSY, the kernel owning the link).
// The attribute takes the words "update" and "normal".
#pragma once

#include "vreader/model/core/attribute_file.hpp"
#include "vreader/model/core/host_fd.hpp"
#include "vreader/model/core/node_file.hpp"
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

class SubCpuNode final : public NodeFile {
public:
    static std::int64_t open(ReaderContext& context, const std::string& path, int flags, int fd,
                             std::unique_ptr<DeviceFile>& out);

    void fill_stat(struct stat& st) const override;
    std::int64_t read(void* buf, std::size_t count) override;
    std::int64_t write(const void* buf, std::size_t count) override;

private:
    SubCpuNode(ReaderContext& context, std::string path, int access);
    // Carries out the packet a write brought, if the firmware takes it; the
    // reply waits for the read.
    void carry_out(DeviceRequest& write, const std::vector<std::uint8_t>& packet, SubCpuState& state);

    HostFd flash_fds_[3];  // the two clusters and the received record
    std::vector<std::uint8_t> reply_;
};

class ControlModeFile final : public AttributeFile {
public:
    static std::int64_t open(ReaderContext& context, const std::string& path, int flags, int fd,
                             std::unique_ptr<DeviceFile>& out);

    std::int64_t pread(void* buf, std::size_t count, std::int64_t offset) override;

private:
    ControlModeFile(ReaderContext& context, std::string path, int access)
        : AttributeFile(context, std::move(path), kControlModeDevice, access)
    {
    }
    std::int64_t store(const void* buf, std::size_t count) override;
};

}  // namespace vreader
