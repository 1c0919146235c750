// The storage driver's pass-through record carried by the Linux SCSI generic
// request (SG_IO): the record's fields into an sg_io_hdr, and the kernel's
// answer back into the record as the Windows driver leaves it, so that the
// library's transfer logic reads the same fields on both systems.
#pragma once

#include <scsi/sg.h>

#include <cstdint>

namespace hostos::sg {

// Copies the record in `in` (`in_size` bytes) to `out` (`out_size` bytes)
// and fills `request` for it: direction, command block, data length and
// time-out (seconds to milliseconds) from the record, with the command
// block, the data and the sense areas pointing into `out`. False when the
// record is malformed or names an area outside the buffers; the caller then
// fails the call without reaching the kernel, as the driver refuses an
// invalid parameter.
bool to_sg_io(const void* in, std::uint32_t in_size, void* out, std::uint32_t out_size, sg_io_hdr_t& request);

// Writes the kernel's answer into the record in `out`: the SCSI status, the
// data length moved (requested less the residual count), the sense length.
// `returned` is the driver's byte count: the data offset plus the bytes
// that came in. False when the transport failed (the adapter or the kernel
// driver reported an error, a time-out among them): the call fails then.
bool from_sg_io(const sg_io_hdr_t& request, void* out, std::uint32_t out_size, std::uint32_t& returned);

}  // namespace hostos::sg
