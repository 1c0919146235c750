#include "vreader/model/core/backed_file.hpp"

#include "vreader/model/core/node_open.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vreader {
namespace {

constexpr std::int64_t kPageSize = 4096;

}  // namespace

std::int64_t BackedFile::open_node(ReaderContext& context, const Node& node, int flags, int fd, int& access,
                                   HostFd& backing)
{
    backing.reset(::open(node.backing.c_str(), O_RDWR | O_CLOEXEC));
    if (!backing.valid())
        std::fprintf(stderr, "vreader: cannot open %s, the content of %s: %s\n", node.backing.c_str(),
                     node.path.c_str(), std::strerror(errno));
    const std::int64_t result =
        journal_open(context, node.path, node.device, flags, fd, access, backing.valid() ? 0 : ENODEV);
    if (result < 0)
        backing.reset();
    return result;
}

std::int64_t BackedFile::transfer(bool writing, void* buf, std::size_t count, std::int64_t offset)
{
    DeviceRequest io = node_request(writing ? "write" : "read");
    io.line().add("offset", offset).add("count", count);
    if (const auto ended = io.start(FaultEnds::Errors))
        return *ended;
    const bool faulted = io.fault().fired;
    if (access_ == (writing ? O_RDONLY : O_WRONLY))
        return io.finish(-EBADF, faulted);
    if (offset < 0)
        return io.finish(-EINVAL, faulted);
    const std::int64_t size = content_size();
    if (offset > size)
        return io.finish(writing ? write_past_end(count) : 0, faulted);
    std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(count), size - offset));
    if (n == 0)
        return io.finish(writing && count > 0 ? -ENOSPC : 0, faulted);
    if (io.faulted(FaultKind::Short))
        n /= 2;
    if (io.faulted(FaultKind::Lost))
        return io.finish(static_cast<std::int64_t>(n), true);
    const ssize_t done = writing ? ::pwrite(backing_.get(), buf, n, offset) : ::pread(backing_.get(), buf, n, offset);
    return io.finish(done < 0 ? -errno : done, faulted);
}

std::int64_t BackedFile::read(void* buf, std::size_t count)
{
    const std::int64_t n = transfer(false, buf, count, position_);
    if (n > 0)
        position_ += n;
    return n;
}

std::int64_t BackedFile::write(const void* buf, std::size_t count)
{
    const std::int64_t n = transfer(true, const_cast<void*>(buf), count, position_);
    if (n > 0)
        position_ += n;
    return n;
}

std::int64_t BackedFile::pread(void* buf, std::size_t count, std::int64_t offset)
{
    return transfer(false, buf, count, offset);
}

std::int64_t BackedFile::pwrite(const void* buf, std::size_t count, std::int64_t offset)
{
    return transfer(true, const_cast<void*>(buf), count, offset);
}

std::int64_t BackedFile::lseek(std::int64_t offset, int whence)
{
    DeviceRequest seek = node_request("lseek");
    seek.line().add("offset", offset).add("whence", whence);
    if (const auto ended = seek.start(FaultEnds::Any))
        return *ended;
    std::int64_t base = 0;
    if (whence == SEEK_CUR)
        base = position_;
    else if (whence == SEEK_END)
        base = seek_end();
    else if (whence != SEEK_SET)
        return seek.finish(-EINVAL);
    if ((offset < 0 && base + offset < 0) || (offset > 0 && base > INT64_MAX - offset))
        return seek.finish(-EINVAL);
    if (!seeks_past_end() && base + offset > content_size())
        return seek.finish(-EINVAL);
    position_ = base + offset;
    return seek.finish(position_);
}

std::int64_t BackedFile::mmap(void* addr, std::size_t length, int prot, int flags, std::int64_t offset, void*& out)
{
    DeviceRequest map = node_request("mmap");
    map.line().add("length", length).add("offset", offset).add("prot", prot).add("flags", flags);
    if (const auto ended = map.start(FaultEnds::Any))
        return *ended;
    if (length == 0 || offset < 0 || offset % kPageSize != 0)
        return map.finish(-EINVAL);
    // A device that maps only its content refuses a range past its end; one
    // that maps as a block device does maps it, and a touch of a page past
    // the end raises SIGBUS, as it does past the end of the backing file.
    const std::int64_t size = content_size();
    if (!maps_past_end() && (offset > size || length > static_cast<std::uint64_t>(size - offset)))
        return map.finish(-EINVAL);
    // A mapping needs read access; a shared writable one needs write access too.
    if (access_ == O_WRONLY || ((flags & MAP_SHARED) && (prot & PROT_WRITE) && access_ == O_RDONLY))
        return map.finish(-EACCES);
    void* address = ::mmap(addr, length, prot, flags, backing_.get(), offset);
    if (address == MAP_FAILED)
        return map.finish(-errno);
    out = address;
    return map.finish(0);
}

}  // namespace vreader
