#include "vreader/model/devices/emmc/emmc_file.hpp"

#include "vreader/model/devices/emmc/emmc_content.hpp"

#include <linux/fs.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <cstring>

namespace vreader {

std::int64_t EmmcFile::open(ReaderContext& context, const std::string& path, int flags, int fd,
                            std::unique_ptr<DeviceFile>& out)
{
    Node node{path, emmc_device(context.dir.config()), context.dir.file(kEmmcFile)};
    int access = 0;
    HostFd image;
    const std::int64_t result = open_node(context, node, flags, fd, access, image);
    if (result >= 0)
        out.reset(new EmmcFile(context, std::move(node), access, std::move(image)));
    return result;
}

void emmc_stat(const ReaderConfig& config, struct stat& st)
{
    std::memset(&st, 0, sizeof st);
    st.st_mode = S_IFBLK | 0660;
    st.st_nlink = 1;
    st.st_rdev = makedev(kMmcMajor, config.emmc_unit * kMmcMinorsPerUnit);
    st.st_blksize = 4096;
}

void EmmcFile::fill_stat(struct stat& st) const { emmc_stat(context_.dir.config(), st); }

std::int64_t EmmcFile::content_size() const { return static_cast<std::int64_t>(context_.dir.config().emmc_size); }

std::int64_t EmmcFile::fsync()
{
    // Writes reach the image at once; the flush is journaled and can fail.
    DeviceRequest flush = node_request("fsync");
    flush.line().add("path", path_);
    if (const auto ended = flush.start(FaultEnds::None))
        return *ended;
    return flush.finish_injected();
}

std::int64_t EmmcFile::ioctl(unsigned long request, void* arg)
{
    // The kernel passes request numbers as 32-bit values; the numbers are
    // the build's own, as the program's are (BLKGETSIZE64 encodes the size
    // of size_t).
    const auto number = static_cast<std::uint32_t>(request);
    const std::uint64_t bytes = context_.dir.config().emmc_size;
    struct Query {
        std::uint32_t number;
        const char* name;
        std::uint64_t value;
        std::size_t size;  // of the value the kernel puts
    };
    const Query queries[] = {
        {static_cast<std::uint32_t>(BLKROGET), "BLKROGET", 0, sizeof(int)},
        {static_cast<std::uint32_t>(BLKGETSIZE), "BLKGETSIZE", bytes / 512, sizeof(unsigned long)},
        {static_cast<std::uint32_t>(BLKSSZGET), "BLKSSZGET", 512, sizeof(int)},
        {static_cast<std::uint32_t>(BLKPBSZGET), "BLKPBSZGET", 512, sizeof(unsigned int)},
        {static_cast<std::uint32_t>(BLKBSZGET), "BLKBSZGET", 4096, sizeof(int)},
        {static_cast<std::uint32_t>(BLKGETSIZE64), "BLKGETSIZE64", bytes, sizeof(std::uint64_t)},
    };
    for (const Query& query : queries) {
        if (query.number != number)
            continue;
        DeviceRequest asked = node_request(query.name);
        asked.line().add("path", path_);
        if (const auto ended = asked.start(FaultEnds::Any))
            return *ended;
        if (arg == nullptr)
            return asked.finish(-EFAULT);
        if (query.size == sizeof(std::uint64_t)) {
            std::memcpy(arg, &query.value, sizeof query.value);
        } else if (query.size == sizeof(std::uint32_t)) {
            const auto value = static_cast<std::uint32_t>(query.value);
            std::memcpy(arg, &value, sizeof value);
        }
        asked.line().add("value", query.value);
        return asked.finish(0);
    }
    // What the block layer does not know goes to the MMC driver, which
    // knows its own command requests only.
    DeviceRequest unknown = node_request("unknown");
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", number);
    unknown.line().add("path", path_).add("number", hex);
    if (const auto ended = unknown.start_unfaulted())
        return *ended;
    return unknown.finish(-EINVAL);
}

}  // namespace vreader
