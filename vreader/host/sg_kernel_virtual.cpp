// The kernel's SG_IO request for the library's Linux binding on the virtual
// reader. A node file under the tree standing for /dev holds the drive
// letter of the reader volume it stands for ("E" for the built-in storage);
// SG_IO on it hands the request to the reader's USB model as the kernel's
// SCSI generic driver would: the command block, the direction and the data
// going out; the SCSI status, the sense data, the residual count and the
// data coming back. The reader is the one in $VREADER_DIR.
#include "hostlib/os/linux_kernel.hpp"
#include "vreader/host/reader_link.hpp"
#include "vreader/model/usb/usb_storage.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace hostos::kernel {
namespace {

// The kernel's values (scsi/sg.h, the SCSI midlayer's host and driver bytes).
constexpr unsigned char kDriverSense = 0x08;
constexpr unsigned short kHostError = 0x07;  // DID_ERROR: the adapter could not finish it
constexpr std::uint8_t kCheckCondition = 0x02;
constexpr std::uint8_t kHardwareError = 0x04;  // sense key

// The USB storage driver has the SCSI layer send a command that failed with
// a HARDWARE ERROR again, unseen by the caller, until the request's time-out
// has passed; the caller then gets the last answer. Here it is sent again
// this many times, which no fault of a test outlasts.
constexpr int kHardwareErrorResends = 16;

bool hardware_error(const vreader::ScsiReply& reply)
{
    return reply.call == vreader::ScsiReply::Call::Done && reply.status == kCheckCondition &&
           (reply.sense[2] & 0x0F) == kHardwareError;
}

}  // namespace

int sg_io(int fd, sg_io_hdr_t& request)
{
    if (request.interface_id != 'S') {
        errno = ENOSYS;
        return -1;
    }
    char letter = 0;
    if (::pread(fd, &letter, 1, 0) != 1 || request.cmd_len == 0 || request.cmd_len > 16 || request.cmdp == nullptr) {
        errno = EINVAL;
        return -1;
    }
    vreader::ScsiRequest scsi;
    std::memcpy(scsi.cdb.data(), request.cmdp, request.cmd_len);
    scsi.cdb_length = request.cmd_len;
    const auto* data = static_cast<std::uint8_t*>(request.dxferp);
    if (request.dxfer_direction != SG_DXFER_NONE && data == nullptr && request.dxfer_len != 0) {
        errno = EFAULT;
        return -1;
    }
    switch (request.dxfer_direction) {
    case SG_DXFER_NONE:
        break;
    case SG_DXFER_FROM_DEV:
        scsi.data_in = true;
        scsi.transfer_length = request.dxfer_len;
        break;
    case SG_DXFER_TO_DEV:
        scsi.transfer_length = request.dxfer_len;
        scsi.data_out.assign(data, data + request.dxfer_len);
        break;
    default:
        errno = EINVAL;
        return -1;
    }

    vreader::ScsiReply reply;
    {
        std::lock_guard held(hostos::virtual_reader::lock());
        vreader::UsbStorage* usb = hostos::virtual_reader::storage();
        const std::optional<int> volume = usb != nullptr ? usb->volume(letter) : std::nullopt;
        if (!volume) {
            errno = ENODEV;  // the device has gone under an open node
            return -1;
        }
        reply = usb->exchange(*volume, scsi);
        for (int resent = 0; resent < kHardwareErrorResends && hardware_error(reply); ++resent)
            reply = usb->exchange(*volume, scsi);
    }
    if (reply.call == vreader::ScsiReply::Call::Fails) {
        errno = EIO;
        return -1;
    }

    request.status = reply.status;
    request.masked_status = static_cast<unsigned char>(reply.status >> 1);
    request.msg_status = 0;
    request.host_status = 0;
    request.driver_status = 0;
    request.sb_len_wr = 0;
    request.duration = 0;
    if (reply.call == vreader::ScsiReply::Call::NothingReturned) {
        // A driver that reports nothing at all: the adapter's error here.
        request.host_status = kHostError;
        request.resid = static_cast<int>(request.dxfer_len);
        request.info = SG_INFO_CHECK;
        return 0;
    }
    const std::size_t copied = scsi.data_in ? std::min<std::size_t>(reply.data_in.size(), request.dxfer_len) : 0;
    if (copied != 0)
        std::memcpy(request.dxferp, reply.data_in.data(), copied);
    const std::uint32_t moved = std::min(reply.transfer_length, request.dxfer_len);
    request.resid = static_cast<int>(request.dxfer_len - moved);
    if (reply.status == kCheckCondition && request.sbp != nullptr) {
        const std::size_t sense = std::min<std::size_t>(request.mx_sb_len, reply.sense.size());
        std::memcpy(request.sbp, reply.sense.data(), sense);
        request.sb_len_wr = static_cast<unsigned char>(sense);
        request.driver_status = kDriverSense;
    }
    request.info = reply.status != 0 ? SG_INFO_CHECK : SG_INFO_OK;
    return 0;
}

}  // namespace hostos::kernel
