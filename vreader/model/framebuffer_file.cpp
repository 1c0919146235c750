#include "vreader/model/framebuffer_file.hpp"

#include "vreader/model/epdc_controller.hpp"
#include "vreader/model/epdc_requests.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace vreader {
namespace {

constexpr std::int64_t kPageSize = 4096;

std::int64_t finish(Session& session, JsonLine& line, std::int64_t result, int fault)
{
    if (fault != 0)
        result = -fault;
    if (const int e = session.commit(); e != 0 && result >= 0)
        result = -EIO;
    line.set_result(result < 0 ? -1 : result, result < 0 ? static_cast<int>(-result) : 0, fault != 0);
    session.record(line);
    return result;
}

}  // namespace

std::int64_t FramebufferFile::open(ReaderContext& context, const std::string& path, int flags, int fd,
                                   std::unique_ptr<DeviceFile>& out)
{
    Session session = context.session();
    JsonLine line("open");
    line.add("path", path).add("flags", flags);
    if (const int e = session.error())
        return finish(session, line, -e, 0);
    const int fault = session.take_fault("open");
    if (fault != 0)
        return finish(session, line, 0, fault);
    const int access = flags & O_ACCMODE;
    if (access == O_ACCMODE)
        return finish(session, line, -EINVAL, 0);
    const int memory_fd = ::open(context.dir.file(kMemoryFile).c_str(), O_RDWR | O_CLOEXEC);
    if (memory_fd < 0) {
        std::fprintf(stderr, "vreader: cannot open the framebuffer memory %s: %s\n",
                     context.dir.file(kMemoryFile).c_str(), std::strerror(errno));
        return finish(session, line, -ENODEV, 0);
    }
    out.reset(new FramebufferFile(context, path, access, memory_fd));
    return finish(session, line, fd, 0);
}

FramebufferFile::~FramebufferFile()
{
    if (memory_fd_ >= 0)
        ::close(memory_fd_);
}

void FramebufferFile::fill_stat(struct stat& st) const
{
    std::memset(&st, 0, sizeof st);
    st.st_mode = S_IFCHR | 0660;
    st.st_nlink = 1;
    st.st_rdev = makedev(kFramebufferMajor, 0);
    st.st_blksize = kPageSize;
}

std::int64_t FramebufferFile::transfer(bool writing, void* buf, std::size_t count, std::int64_t offset)
{
    Session session = context_.session();
    JsonLine line(writing ? "write" : "read");
    line.add("offset", offset).add("count", count);
    if (const int e = session.error())
        return finish(session, line, -e, 0);
    if (const int fault = session.take_fault(line.request()))
        return finish(session, line, 0, fault);
    if (access_ == (writing ? O_RDONLY : O_WRONLY))
        return finish(session, line, -EBADF, 0);
    if (offset < 0)
        return finish(session, line, -EINVAL, 0);
    const std::int64_t size = memory_size(context_.dir.config());
    if (offset > size)
        return finish(session, line, writing ? -EFBIG : 0, 0);
    const auto n = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(count), size - offset));
    if (n == 0)
        return finish(session, line, writing && count > 0 ? -ENOSPC : 0, 0);
    const ssize_t done = writing ? ::pwrite(memory_fd_, buf, n, offset) : ::pread(memory_fd_, buf, n, offset);
    return finish(session, line, done < 0 ? -errno : done, 0);
}

std::int64_t FramebufferFile::read(void* buf, std::size_t count)
{
    const std::int64_t n = transfer(false, buf, count, position_);
    if (n > 0)
        position_ += n;
    return n;
}

std::int64_t FramebufferFile::write(const void* buf, std::size_t count)
{
    const std::int64_t n = transfer(true, const_cast<void*>(buf), count, position_);
    if (n > 0)
        position_ += n;
    return n;
}

std::int64_t FramebufferFile::pread(void* buf, std::size_t count, std::int64_t offset)
{
    return transfer(false, buf, count, offset);
}

std::int64_t FramebufferFile::pwrite(const void* buf, std::size_t count, std::int64_t offset)
{
    return transfer(true, const_cast<void*>(buf), count, offset);
}

std::int64_t FramebufferFile::lseek(std::int64_t offset, int whence)
{
    std::int64_t base = 0;
    if (whence == SEEK_CUR)
        base = position_;
    else if (whence == SEEK_END)
        base = memory_size(context_.dir.config());
    else if (whence != SEEK_SET)
        return -EINVAL;
    if ((offset < 0 && base + offset < 0) || (offset > 0 && base > INT64_MAX - offset))
        return -EINVAL;
    position_ = base + offset;
    return position_;
}

std::int64_t FramebufferFile::ioctl(unsigned long request, void* arg)
{
    // The kernel passes request numbers as 32-bit values.
    const auto number = static_cast<std::uint32_t>(request);
    Session session = context_.session();
    const epdc::Request* known = epdc::find_request(number);
    if (known == nullptr) {
        JsonLine line("unknown");
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08X", number);
        line.add("number", hex);
        return finish(session, line, -ENOTTY, 0);
    }
    JsonLine line(known->name);
    if (const int e = session.error())
        return finish(session, line, -e, 0);
    const int fault = session.take_fault(known->name);
    RequestCall call{session, line, arg, fault};
    const std::int64_t result = epdc_request(known->number, call);
    return finish(session, line, result, fault);
}

std::int64_t FramebufferFile::mmap(void* addr, std::size_t length, int prot, int flags, std::int64_t offset, void*& out)
{
    Session session = context_.session();
    JsonLine line("mmap");
    line.add("length", length).add("offset", offset).add("prot", prot).add("flags", flags);
    if (const int e = session.error())
        return finish(session, line, -e, 0);
    if (const int fault = session.take_fault("mmap"))
        return finish(session, line, 0, fault);
    const std::int64_t size = memory_size(context_.dir.config());
    if (length == 0 || offset < 0 || offset % kPageSize != 0 || offset > size ||
        length > static_cast<std::uint64_t>(size - offset))
        return finish(session, line, -EINVAL, 0);
    // A mapping needs read access; a shared writable one needs write access too.
    if (access_ == O_WRONLY || ((flags & MAP_SHARED) && (prot & PROT_WRITE) && access_ == O_RDONLY))
        return finish(session, line, -EACCES, 0);
    void* address = ::mmap(addr, length, prot, flags, memory_fd_, offset);
    if (address == MAP_FAILED)
        return finish(session, line, -errno, 0);
    out = address;
    return finish(session, line, 0, 0);
}

std::int64_t FramebufferFile::close()
{
    Session session = context_.session();
    JsonLine line("close");
    line.add("path", path_);
    ::close(memory_fd_);
    memory_fd_ = -1;
    if (const int e = session.error())
        return finish(session, line, -e, 0);
    return finish(session, line, 0, session.take_fault("close"));
}

}  // namespace vreader
