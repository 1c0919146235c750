// The reader's handler of the vendor SCSI commands that a PC sends through
// the storage driver's pass-through request. A command is a run of
// exchanges, each one SCSI request with a 10-byte block
//
//     byte 0 0x20, 1 0, 2 the command code, 3 0, 4 the phase (1 opening,
//     3 continuing, 2 closing), 5 the selector (code 1 only, else 0), 6-9 0
//
// and data in one direction, whose length travels only in the request's
// transfer length. The handler follows each command through its exchanges
// and keeps the one in progress in the reader's USB state, so that it
// outlives the process that saw its first exchange. An opening exchange
// (phase 1) starts its command afresh and abandons an unfinished one, as a
// PC whose transfer broke off simply starts its next command. Any other
// exchange that does not fit (a malformed block, an unknown code, a phase
// out of order or of another command, request data or a piece of the wrong
// size) is refused with CHECK CONDITION and ends the command in progress.
//
// Commands (out: PC to reader; in: reader to PC; the number is the phase):
//     1   protocol_version  in 1: the 8-character version
//     3   connect           out 1: 4-byte flag; in 2: 4-byte result
//     4   unlock            out 1: 8-byte code field; in 2: 4-byte result
//                           (-5 while locked and the code is wrong)
//     6   property          in 1: the 348-byte property block
//     7   set_time          out 1: 28-byte clock record; in 2: result
//     8   free_space        out 1: 4 bytes; in 2: the 8-byte free space
//     9   begin_end         out 1: 4-byte value; in 2: result
//     10  media_state       in 1: a 4-byte word, then the 8-byte state
//     144 fingerprint       out 1: the request; in 2: the reply
//     160 get_info          out 1: query text; in 3: 4-byte total; in 3:
//                           data pieces; out 2: 4-byte count not fetched
//     64  http_request      out 1: 512-byte selection block; in 3: 8-byte
//                           header (0, body size); in: body pieces
//     65  http_response     out 1: 4-byte length; out 3: response pieces;
//                           in 3: 8-byte header (status, body size); in:
//                           body pieces
//     112 update_mode       out 1: 4-byte mode; in 2: result
//     113 delete_partition  out 1: 32-byte name field; in 2: result
//     114 create_partition  out 1: 44-byte request; in 2: result
//     115 create_partition_image  out 1: 64- or 192-byte request; out 3:
//                           image pieces; in 2: result
//     116 partition_size    out 1: 32-byte name field; in 2: 12 bytes
//     128 file_size         out 1: 256-byte path field; in 2: size or code
//     129 file_read         out 1: 268-byte request; in 3 (2 when length
//                           <= 0): status; in: data pieces
//     130 file_write        out 1: 264-byte request; in 3 (2 when length
//                           <= 0): status; out: data pieces
//     131 file_delete       out 1: 256-byte path field; in 2: result
// Data pieces are min(remaining, 4096) bytes, phase 3, the last phase 2;
// image and response pieces are all phase 3.
// 144 and 160 exist only from protocol version "0100" + "0010" on.
//
// The reader's status and result codes (usb_results.hpp):
//     -201 no such file            -211 mode other than 0 or 1
//     -202 bad position or length  -212 partition command in normal mode
//     -203 path refused            -213 partition name or tag refused
//     -204 I/O failure             -214 partition exists
//     -205 the path is a folder    -215 no such partition
//     -206 file too large          -216 image incomplete
//
// A new command: its code and name in the command table, a shape (how its
// exchanges run) and the function that makes its reply.
#pragma once

#include "protocol/vendor_commands.hpp"
#include "protocol/vendor_records.hpp"
#include "vreader/model/state/json_line.hpp"
#include "vreader/model/usb/scsi_sense.hpp"
#include "vreader/model/usb/usb_content.hpp"
#include "vreader/model/usb/usb_results.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vreader::usb {

using protocol::vendor::kVendorCdbLength;
using protocol::vendor::kVendorOperation;

using protocol::vendor::kClosing;
using protocol::vendor::kContinuing;
using protocol::vendor::kOpening;

using protocol::vendor::kBeginEnd;
using protocol::vendor::kConnect;
using protocol::vendor::kCreatePartition;
using protocol::vendor::kCreatePartitionImage;
using protocol::vendor::kDeletePartition;
using protocol::vendor::kFileDelete;
using protocol::vendor::kFileRead;
using protocol::vendor::kFileSize;
using protocol::vendor::kFileWrite;
using protocol::vendor::kFingerprint;
using protocol::vendor::kFreeSpace;
using protocol::vendor::kGetInfo;
using protocol::vendor::kHttpRequest;
using protocol::vendor::kHttpResponse;
using protocol::vendor::kMediaState;
using protocol::vendor::kPartitionSize;
using protocol::vendor::kProperty;
using protocol::vendor::kProtocolVersion;
using protocol::vendor::kSetTime;
using protocol::vendor::kUnlock;
using protocol::vendor::kUpdateMode;

// The property block the reader sends for code 6.
using protocol::vendor::PropertyBlock;

// One exchange as the reader receives it.
struct VendorRequest {
    std::array<std::uint8_t, 16> cdb{};
    std::uint8_t cdb_length = 0;
    bool data_in = false;
    std::uint32_t asked = 0;         // data-in: bytes the PC takes at most
    std::vector<std::uint8_t> data;  // data-out: the bytes that arrived
};

struct VendorAnswer {
    std::optional<scsi::Sense> refused;  // CHECK CONDITION with this sense
    std::string error;                   // why, for the journal
    std::vector<std::uint8_t> data;      // data-in: what the reader sends
    bool ends_command = false;
    bool changed = false;  // the content (the command in progress included)
};

// A command's name; empty for a code the reader does not know.
std::string_view command_name(std::uint8_t code);

// Whether the exchange is its command's reply (the data-in exchange that
// closes it), judged from the block alone, before the handler sees it.
bool is_reply(std::uint8_t code, std::uint8_t phase, bool data_in);

// Whether a protocol version is new enough for codes 144 and 160: "0100",
// then four characters that read as a little-endian 32-bit number above
// 0x3031302F ("0010" is, "0000" is not).
bool offers_newer_commands(const std::string& version);

// Carries out one exchange on `content` and the files of the reader in
// `reader_dir` (storage/, partitions/, tunnel/), adding what it learnt to
// `line`.
VendorAnswer handle(const VendorRequest& request, UsbContent& content, const std::string& reader_dir, JsonLine& line);

}  // namespace vreader::usb
