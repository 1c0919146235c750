#include "hostlib/os/sg_io_request.hpp"

#include "hostlib/pass_through.hpp"

#include <climits>
#include <cstring>

namespace hostos::sg {
namespace {

using fendrac::ScsiPassThrough;

constexpr std::uint8_t kDataOut = 0;
constexpr std::uint8_t kDataIn = 1;
constexpr std::uint8_t kDataUnspecified = 2;

// The kernel driver's own status, beside "sense data came back".
constexpr unsigned kDriverMask = 0x0F;
constexpr unsigned kDriverSense = 0x08;

bool fits(std::uint64_t offset, std::uint64_t length, std::uint32_t size) { return offset + length <= size; }

}  // namespace

bool to_sg_io(const void* in, std::uint32_t in_size, void* out, std::uint32_t out_size, sg_io_hdr_t& request)
{
    if (in == nullptr || out == nullptr || in_size < sizeof(ScsiPassThrough) || out_size < sizeof(ScsiPassThrough))
        return false;
    ScsiPassThrough header;
    std::memcpy(&header, in, sizeof header);
    if (header.Length != sizeof(ScsiPassThrough) || header.CdbLength == 0 || header.CdbLength > sizeof header.Cdb)
        return false;
    const std::uint32_t length = header.DataTransferLength;
    switch (header.DataIn) {
    case kDataOut:
        // The data goes from the input buffer, by way of its copy in `out`.
        if (!fits(header.DataBufferOffset, length, in_size < out_size ? in_size : out_size))
            return false;
        break;
    case kDataIn:
        if (!fits(header.DataBufferOffset, length, out_size))
            return false;
        break;
    case kDataUnspecified:
        if (length != 0)
            return false;
        break;
    default:
        return false;
    }
    if (header.SenseInfoLength != 0 && !fits(header.SenseInfoOffset, header.SenseInfoLength, out_size))
        return false;

    auto* record = static_cast<std::uint8_t*>(out);
    std::memmove(record, in, in_size < out_size ? in_size : out_size);

    std::memset(&request, 0, sizeof request);
    request.interface_id = 'S';
    request.dxfer_direction = length == 0                ? SG_DXFER_NONE
                              : header.DataIn == kDataIn ? SG_DXFER_FROM_DEV
                                                         : SG_DXFER_TO_DEV;
    request.cmd_len = header.CdbLength;
    request.cmdp = record + offsetof(ScsiPassThrough, Cdb);
    request.mx_sb_len = header.SenseInfoLength;
    request.sbp = header.SenseInfoLength != 0 ? record + header.SenseInfoOffset : nullptr;
    request.dxfer_len = length;
    request.dxferp = length != 0 ? record + header.DataBufferOffset : nullptr;
    const std::uint64_t milliseconds = std::uint64_t(header.TimeOutValue) * 1000;
    request.timeout = milliseconds > UINT_MAX ? UINT_MAX : static_cast<unsigned>(milliseconds);
    return true;
}

bool from_sg_io(const sg_io_hdr_t& request, void* out, std::uint32_t out_size, std::uint32_t& returned)
{
    returned = 0;
    const unsigned driver = request.driver_status & kDriverMask;
    if (request.host_status != 0 || (driver != 0 && driver != kDriverSense))
        return false;
    if (out == nullptr || out_size < sizeof(ScsiPassThrough))
        return false;
    auto* record = static_cast<std::uint8_t*>(out);
    ScsiPassThrough header;
    std::memcpy(&header, record, sizeof header);

    const unsigned residual = request.resid <= 0 ? 0u
                              : static_cast<unsigned>(request.resid) < request.dxfer_len
                                  ? static_cast<unsigned>(request.resid)
                                  : request.dxfer_len;
    const std::uint32_t moved = request.dxfer_len - residual;
    header.ScsiStatus = request.status;
    header.DataTransferLength = moved;
    header.SenseInfoLength = request.sb_len_wr < header.SenseInfoLength ? request.sb_len_wr : header.SenseInfoLength;
    std::memcpy(record, &header, sizeof header);

    const std::uint64_t count =
        std::uint64_t(header.DataBufferOffset) + (request.dxfer_direction == SG_DXFER_FROM_DEV ? moved : 0);
    returned = count > out_size ? out_size : static_cast<std::uint32_t>(count);
    return true;
}

}  // namespace hostos::sg
