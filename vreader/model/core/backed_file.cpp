#include "vreader/model/core/backed_file.hpp"

#include "vreader/model/core/node_open.hpp"
#include "vreader/model/core/request_opening.hpp"

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
    Session session = context_.session();
    JsonLine line(writing ? "write" : "read");
    line.add("offset", offset).add("count", count);
    FaultHit fault;
    if (const auto ended = open_request(session, line, line.request(), device_, FaultEnds::Errors, fault))
        return *ended;
    if (access_ == (writing ? O_RDONLY : O_WRONLY))
        return session.finish(line, -EBADF, fault.fired);
    if (offset < 0)
        return session.finish(line, -EINVAL, fault.fired);
    const std::int64_t size = content_size();
    if (offset > size)
        return session.finish(line, writing ? write_past_end(count) : 0, fault.fired);
    std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(count), size - offset));
    if (n == 0)
        return session.finish(line, writing && count > 0 ? -ENOSPC : 0, fault.fired);
    if (fault.fired && fault.kind == FaultKind::Short)
        n /= 2;
    if (fault.fired && fault.kind == FaultKind::Lost)
        return session.finish(line, static_cast<std::int64_t>(n), true);
    const ssize_t done = writing ? ::pwrite(backing_.get(), buf, n, offset) : ::pread(backing_.get(), buf, n, offset);
    return session.finish(line, done < 0 ? -errno : done, fault.fired);
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
    Session session = context_.session();
    JsonLine line("lseek");
    line.add("offset", offset).add("whence", whence);
    if (const auto ended = open_request(session, line, "lseek", device_, FaultEnds::Any))
        return *ended;
    std::int64_t base = 0;
    if (whence == SEEK_CUR)
        base = position_;
    else if (whence == SEEK_END)
        base = seek_end();
    else if (whence != SEEK_SET)
        return session.finish(line, -EINVAL, false);
    if ((offset < 0 && base + offset < 0) || (offset > 0 && base > INT64_MAX - offset))
        return session.finish(line, -EINVAL, false);
    if (!seeks_past_end() && base + offset > content_size())
        return session.finish(line, -EINVAL, false);
    position_ = base + offset;
    return session.finish(line, position_, false);
}

std::int64_t BackedFile::mmap(void* addr, std::size_t length, int prot, int flags, std::int64_t offset, void*& out)
{
    Session session = context_.session();
    JsonLine line("mmap");
    line.add("length", length).add("offset", offset).add("prot", prot).add("flags", flags);
    if (const auto ended = open_request(session, line, "mmap", device_, FaultEnds::Any))
        return *ended;
    if (length == 0 || offset < 0 || offset % kPageSize != 0)
        return session.finish(line, -EINVAL, false);
    // A device that maps only its content refuses a range past its end; one
    // that maps as a block device does maps it, and a touch of a page past
    // the end raises SIGBUS, as it does past the end of the backing file.
    const std::int64_t size = content_size();
    if (!maps_past_end() && (offset > size || length > static_cast<std::uint64_t>(size - offset)))
        return session.finish(line, -EINVAL, false);
    // A mapping needs read access; a shared writable one needs write access too.
    if (access_ == O_WRONLY || ((flags & MAP_SHARED) && (prot & PROT_WRITE) && access_ == O_RDONLY))
        return session.finish(line, -EACCES, false);
    void* address = ::mmap(addr, length, prot, flags, backing_.get(), offset);
    if (address == MAP_FAILED)
        return session.finish(line, -errno, false);
    out = address;
    return session.finish(line, 0, false);
}

std::int64_t BackedFile::close()
{
    Session session = context_.session();
    JsonLine line("close");
    line.add("path", path_);
    backing_.reset();
    FaultHit fault;
    if (const auto ended = open_request(session, line, "close", device_, FaultEnds::None, fault))
        return *ended;
    return session.finish(line, -fault.error, fault.fired);
}

}  // namespace vreader
