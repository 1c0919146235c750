// The one kernel request of the Linux device binding that tests cannot
// make for real: SG_IO on a SCSI node. The shipped library binds it to
// ioctl (`kernel_linux.cpp`); tests bind it to a scripted device.
#pragma once

#include <scsi/sg.h>

namespace hostos::kernel {

// ioctl(fd, SG_IO, &request): 0, or -1 with errno set.
int sg_io(int fd, sg_io_hdr_t& request);

}  // namespace hostos::kernel
