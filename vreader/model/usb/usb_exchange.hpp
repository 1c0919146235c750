// What the vendor command handlers share: an exchange as they read it, the
// little-endian words of its data, how a stretch of data is cut into pieces,
// how an exchange is refused, and the handlers that live in their own files
// (the file service, update partitions, the HTTP tunnel).
#pragma once

#include "vreader/model/state/json_line.hpp"
#include "vreader/model/usb/scsi_sense.hpp"
#include "vreader/model/usb/usb_commands.hpp"
#include "vreader/model/usb/usb_content.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vreader::usb {

using Bytes = std::vector<std::uint8_t>;

using protocol::vendor::kMaxPhase;

// An exchange as the handler reads its block.
struct VendorExchange {
    std::uint8_t code = 0;
    std::uint8_t phase = 0;
    std::uint8_t selector = 0;
    bool data_in = false;
    std::uint32_t asked = 0;
    Bytes data;
};

// What a command works on besides usb.conf: the reader's directory.
struct CommandContext {
    UsbContent& content;
    const std::string& dir;
    JsonLine& line;
};

Bytes le32(std::uint32_t value);
inline Bytes result(std::int32_t value) { return le32(static_cast<std::uint32_t>(value)); }
std::uint32_t read_le32(const Bytes& data, std::size_t at = 0);
// Text up to its first zero byte.
std::string text_of(const Bytes& data);

VendorAnswer refuse(const scsi::Sense& sense, std::string error);
std::string phase_text(bool data_in, std::uint8_t phase);
// Refuses an exchange that is not the one `command` expects next.
std::optional<VendorAnswer> expect(std::string_view command, const VendorExchange& exchange, bool data_in,
                                   std::uint8_t phase);
std::optional<VendorAnswer> expect_size(const VendorExchange& exchange, std::size_t min, std::size_t max);

// The next piece of a stretch of `length` bytes of which `moved` have gone:
// at most 4096 bytes, phase 3, and the piece that ends it phase 2.
struct Piece {
    std::uint32_t size = 0;
    std::uint8_t phase = kContinuing;
};
Piece next_piece(std::uint32_t length, std::uint32_t moved);
// Refuses a data piece that is not `piece` (its direction, phase and size).
std::optional<VendorAnswer> expect_piece(std::string_view command, const VendorExchange& exchange, bool data_in,
                                         const Piece& piece);

// Sends `data`, at most as many bytes as the PC takes.
VendorAnswer send_at_most(const VendorExchange& exchange, Bytes data);

// Replies that a request makes (the plain request-reply commands).
Bytes file_size(const VendorExchange& exchange, CommandContext& context);
Bytes file_delete(const VendorExchange& exchange, CommandContext& context);
Bytes change_mode(const VendorExchange& exchange, CommandContext& context);
Bytes delete_partition(const VendorExchange& exchange, CommandContext& context);
Bytes create_partition(const VendorExchange& exchange, CommandContext& context);
Bytes partition_size(const VendorExchange& exchange, CommandContext& context);

// Commands that move data in pieces: one exchange each call.
VendorAnswer run_file_read(const VendorExchange& exchange, UsbCommandInProgress& progress, CommandContext& context);
VendorAnswer run_file_write(const VendorExchange& exchange, UsbCommandInProgress& progress, CommandContext& context);
VendorAnswer run_partition_image(const VendorExchange& exchange, UsbCommandInProgress& progress,
                                 CommandContext& context);
VendorAnswer run_tunnel_request(const VendorExchange& exchange, UsbCommandInProgress& progress,
                                CommandContext& context);
VendorAnswer run_tunnel_response(const VendorExchange& exchange, UsbCommandInProgress& progress,
                                 CommandContext& context);

// Tidies what an unfinished command leaves behind when it ends without its
// last exchange: a partition image or a tunnel response half received.
void drop_unfinished(const UsbCommandInProgress& progress, const std::string& dir);
void drop_unfinished_image(const UsbCommandInProgress& progress, const std::string& dir);
void drop_unfinished_response(const UsbCommandInProgress& progress, const std::string& dir);

}  // namespace vreader::usb
