// SG_IO for the kernel bench's stand-in fendrac: the kernel's own SG_IO for
// every request but the reader's vendor commands (operation code 0x20),
// which a stock kernel's mass-storage gadget refuses. Those are answered as
// an unlocked reader answers the open, the close and the eject: every piece
// going out is taken whole; coming in, the protocol version "01000010" and
// zeros (an unlocked reader, a connect accepted). Everything else the
// library asks of the disk (INQUIRY, PREVENT ALLOW MEDIUM REMOVAL, START
// STOP UNIT, the sysfs removal) reaches the real kernel.
#include "hostlib/os/linux_kernel.hpp"
#include "protocol/vendor_commands.hpp"
#include "protocol/vendor_records.hpp"

#include <sys/ioctl.h>

#include <cstring>

namespace hostos::kernel {

int sg_io(int fd, sg_io_hdr_t& request)
{
    const auto* cdb = static_cast<const unsigned char*>(request.cmdp);
    namespace vendor = protocol::vendor;
    if (cdb == nullptr || request.cmd_len != vendor::kVendorCdbLength || cdb[0] != vendor::kVendorOperation)
        return ::ioctl(fd, SG_IO, &request);
    if (request.dxfer_direction == SG_DXFER_FROM_DEV && request.dxferp != nullptr) {
        std::memset(request.dxferp, 0, request.dxfer_len);
        constexpr char kVersion[vendor::kVersionSize + 1] = "01000010";
        if (cdb[vendor::kCdbCode] == vendor::kProtocolVersion)
            std::memcpy(request.dxferp, kVersion,
                        request.dxfer_len < vendor::kVersionSize ? request.dxfer_len : vendor::kVersionSize);
    }
    request.status = 0;
    request.masked_status = 0;
    request.host_status = 0;
    request.driver_status = 0;
    request.sb_len_wr = 0;
    request.resid = 0;
    request.info = 0;
    request.duration = 0;
    return 0;
}

}  // namespace hostos::kernel
