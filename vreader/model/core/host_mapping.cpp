#include "vreader/model/core/host_mapping.hpp"

#include "vreader/model/core/host_fd.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>

namespace vreader {

void HostMapping::reset() noexcept
{
    if (data_ != nullptr)
        ::munmap(data_, size_);
    data_ = nullptr;
    size_ = 0;
}

HostMapping map_file(const std::string& path, bool writable, std::size_t size)
{
    // The mapping outlives the descriptor it was made through.
    const HostFd fd(::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || static_cast<std::uint64_t>(st.st_size) < size || size == 0)
        return {};
    void* address = ::mmap(nullptr, size, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, fd.get(), 0);
    if (address == MAP_FAILED)
        return {};
    return {address, size};
}

}  // namespace vreader
