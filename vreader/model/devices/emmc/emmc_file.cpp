#include "vreader/model/devices/emmc/emmc_file.hpp"

#include "vreader/model/core/request_opening.hpp"
#include "vreader/model/devices/emmc/emmc_content.hpp"

#include <sys/sysmacros.h>

#include <cstring>

namespace vreader {

std::int64_t EmmcFile::open(ReaderContext& context, const std::string& path, int flags, int fd,
                            std::unique_ptr<DeviceFile>& out)
{
    Node node{path, emmc_device(context.dir.config()), context.dir.file(kEmmcFile)};
    int access = 0;
    int image_fd = -1;
    const std::int64_t result = open_node(context, node, flags, fd, access, image_fd);
    if (result >= 0)
        out.reset(new EmmcFile(context, std::move(node), access, image_fd));
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
    Session session = context_.session();
    JsonLine line("fsync");
    line.add("path", path());
    FaultHit fault;
    if (const auto ended = open_request(session, line, "fsync", device(), FaultEnds::None, fault))
        return *ended;
    return session.finish(line, -fault.error, fault.fired);
}

}  // namespace vreader
