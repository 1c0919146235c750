#include "hostlib/os/linux_kernel.hpp"

#include <sys/ioctl.h>

namespace hostos::kernel {

int sg_io(int fd, sg_io_hdr_t& request) { return ::ioctl(fd, SG_IO, &request); }

}  // namespace hostos::kernel
