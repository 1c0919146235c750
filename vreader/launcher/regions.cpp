#include "vreader/launcher/regions.hpp"

#include "vreader/model/devices/emmc/emmc_content.hpp"
#include "vreader/model/devices/subcpu/subcpu_node.hpp"
#include "vreader/model/devices/subcpu/subcpu_state.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vreader::cli {

std::optional<Region> named_region(const Verb& verb, const ReaderDir& reader, std::string_view name)
{
    if (name == "subcpu" || name == "subcpu-active") {
        SubCpuState state;
        std::string error;
        if (!load_subcpu(reader, state, error)) {
            failure(verb, "cannot read the sub-CPU's state: " + error);
            return std::nullopt;
        }
        const unsigned cluster = name == "subcpu" ? state.update_cluster() : state.active_cluster;
        return Region{std::string(name) + " (cluster " + std::to_string(cluster) + ")",
                      reader.file(cluster_file(cluster)), 0, kFlashSize, kFlashStart};
    }
    const auto area = named_area(verb, reader, name);
    if (!area)
        return std::nullopt;
    return Region{area->name, reader.file(kEmmcFile), area->offset, area->size, 0};
}

int read_region(const Region& region, std::uint64_t offset, std::uint64_t length, std::string& out)
{
    if (offset > region.size || length > region.size - offset)
        return EINVAL;
    const int fd = ::open(region.file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    out.assign(static_cast<std::size_t>(length), '\0');
    const ssize_t n = ::pread(fd, out.data(), out.size(), static_cast<off_t>(region.offset + offset));
    const int error = n < 0 ? errno : (static_cast<std::size_t>(n) != out.size() ? EIO : 0);
    ::close(fd);
    return error;
}

int write_region(const Region& region, std::uint64_t offset, std::string_view data)
{
    if (offset > region.size || data.size() > region.size - offset)
        return EINVAL;
    const int fd = ::open(region.file.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const ssize_t n = ::pwrite(fd, data.data(), data.size(), static_cast<off_t>(region.offset + offset));
    const int error = n < 0 ? errno : (static_cast<std::size_t>(n) != data.size() ? EIO : 0);
    ::close(fd);
    return error;
}

}  // namespace vreader::cli
