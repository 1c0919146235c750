#include "vreader/model/devices/emmc/emmc_content.hpp"

#include "vreader/model/core/host_fd.hpp"
#include "vreader/model/core/sparse_file.hpp"
#include "vreader/model/devices/emmc/identity_area.hpp"
#include "vreader/model/devices/emmc/mmc_block_devices.hpp"
#include "vreader/model/devices/emmc/rawdata_table.hpp"
#include "vreader/model/state/files.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace vreader {
namespace {

// pread or pwrite of the whole range; 0 or an errno value.
template <class Transfer>
int whole_range(int fd, std::uint64_t offset, std::size_t length, Transfer transfer)
{
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = transfer(fd, done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

int write_image(const std::string& image, std::uint64_t offset, std::string_view data)
{
    const HostFd fd(::open(image.c_str(), O_WRONLY | O_CLOEXEC));
    if (!fd.valid())
        return errno;
    return whole_range(fd.get(), offset, data.size(), [&](int f, std::size_t done, off_t at) {
        return ::pwrite(f, data.data() + done, data.size() - done, at);
    });
}

bool inside(const ReaderDir& dir, std::uint64_t offset, std::uint64_t length)
{
    const std::uint64_t size = dir.config().emmc_size;
    return offset <= size && length <= size - offset;
}

}  // namespace

int read_emmc(const ReaderDir& dir, std::uint64_t offset, std::uint64_t length, std::string& out)
{
    if (!inside(dir, offset, length))
        return EINVAL;
    if (length > SIZE_MAX / 2)
        return ENOMEM;
    const HostFd fd(::open(dir.file(kEmmcFile).c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid())
        return errno;
    out.assign(static_cast<std::size_t>(length), '\0');
    return whole_range(fd.get(), offset, out.size(), [&](int f, std::size_t done, off_t at) {
        return ::pread(f, out.data() + done, out.size() - done, at);
    });
}

int write_emmc(const ReaderDir& dir, std::uint64_t offset, std::string_view data)
{
    if (!inside(dir, offset, data.size()))
        return EINVAL;
    return write_image(dir.file(kEmmcFile), offset, data);
}

std::string saved_boot_env(std::string_view mode)
{
    const std::string part = mode == "normal" ? "system" : std::string(mode);
    using namespace std::string_literals;
    return "bootmode="s + std::string(mode) + '\0' + "bootpart=" + part + '\0' + "bootdelay=0" + '\0' + '\0';
}

int create_emmc(const std::string& root, const ReaderConfig& config)
{
    const std::string image = root + std::string(kEmmcFile);
    if (const int e = create_zero_file(image, config.emmc_size))
        return e;
    // Every block device there, none taken away.
    std::error_code removed;
    std::filesystem::remove(root + std::string(kBlockRemovedFile), removed);
    if (removed)
        return removed.value();
    const std::vector<RawArea> areas = default_areas();
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(root + std::string(kRawdataParamFile)).parent_path(), ec);
    if (ec)
        return ec.value();
    if (const int e = replace_file(root + std::string(kRawdataParamFile), format_rawdata_table(areas)))
        return e;
    if (const int e = replace_file(root + std::string(kMmcDevNoFile), std::to_string(config.emmc_unit) + "\n"))
        return e;
    const struct {
        std::string_view area;
        std::string_view mode;
    } environments[] = {{kBootEnvArea, "normal"}, {kNormalBootEnvArea, "normal"}, {kRecoveryBootEnvArea, "recovery"}};
    for (const auto& environment : environments) {
        if (const int e =
                write_image(image, find_area(areas, environment.area)->offset, saved_boot_env(environment.mode)))
            return e;
    }
    const RawArea* identity = find_area(areas, kIdArea);
    return write_image(image, identity->offset, factory_identity(identity->size));
}

namespace {

// The three boot environment areas and the length the boot tool copies.
struct BootEnvAreas {
    RawArea active, normal, recovery;
    std::uint64_t length = 0;
};

bool boot_env_areas(const ReaderDir& dir, BootEnvAreas& out)
{
    std::vector<RawArea> areas;
    if (read_areas(dir, areas) != 0)
        return false;
    const RawArea* active = find_area(areas, kBootEnvArea);
    const RawArea* normal = find_area(areas, kNormalBootEnvArea);
    const RawArea* recovery = find_area(areas, kRecoveryBootEnvArea);
    if (active == nullptr || normal == nullptr || recovery == nullptr)
        return false;
    out = {*active, *normal, *recovery, std::min({active->size, normal->size, recovery->size})};
    return true;
}

}  // namespace

std::string activate_boot_env(const ReaderDir& dir, std::string_view mode)
{
    BootEnvAreas areas;
    if (!boot_env_areas(dir, areas))
        return "the raw-data table does not locate the three boot environments";
    const RawArea& saved = mode == "recovery" ? areas.recovery : areas.normal;
    std::string bytes;
    int e = read_emmc(dir, saved.offset, areas.length, bytes);
    if (e == 0)
        e = write_emmc(dir, areas.active.offset, bytes);
    return e == 0 ? std::string() : "cannot copy the " + std::string(mode) + " environment: " + std::strerror(e);
}

std::string active_boot_env(const ReaderDir& dir)
{
    BootEnvAreas areas;
    if (!boot_env_areas(dir, areas))
        return "unknown";
    std::string active, normal, recovery;
    if (read_emmc(dir, areas.active.offset, areas.length, active) != 0 ||
        read_emmc(dir, areas.normal.offset, areas.length, normal) != 0 ||
        read_emmc(dir, areas.recovery.offset, areas.length, recovery) != 0)
        return "unknown";
    if (active == normal)
        return "normal";
    return active == recovery ? "recovery" : "neither";
}

}  // namespace vreader
