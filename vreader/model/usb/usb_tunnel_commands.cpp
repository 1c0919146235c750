// The HTTP tunnel's commands (codes 64 and 65). Code 64 hands the PC the
// next queued request: an 8-byte header (status 0, body size), then the body
// in pieces. Code 65 takes the PC's response piece by piece into a new file
// of tunnel/responses/, kept once the last piece came, then answers a header
// and the next request's body the same way.
#include "vreader/model/usb/usb_exchange.hpp"
#include "vreader/model/usb/usb_tunnel.hpp"

#include <cstdint>
#include <limits>

namespace vreader::usb {
namespace {

using protocol::vendor::kSelectionBlockSize;
using protocol::vendor::kSelectionFieldSize;

// The stages of a tunnel command after its opening exchange.
enum Stage : std::uint32_t {
    kResponse = 1,  // 65: response pieces coming in
    kHeader = 2,    // the header is next
    kBody = 3,      // body pieces going out
};

// Picks the body that follows the header: the next queued request.
void choose_body(UsbCommandInProgress& progress, const Tunnel& tunnel)
{
    const std::vector<TunnelFile> queue = tunnel.queue();
    progress.target = queue.empty() ? std::string() : queue.front().name;
    progress.length = queue.empty() ? 0 : static_cast<std::uint32_t>(queue.front().size);
    progress.moved = 0;
    progress.stage = kHeader;
}

// The header's exchange: `status`, then the body's size; the command ends
// here when no body follows.
VendorAnswer send_header(std::string_view name, const VendorExchange& exchange, UsbCommandInProgress& progress,
                         std::int32_t status, CommandContext& context)
{
    if (auto wrong = expect(name, exchange, true, kContinuing))
        return *wrong;
    if (status != 0 && progress.length == 0)
        progress.length = 1;  // a status comes with a size, never 0, for the PC to ignore
    context.line.add("header_status", status).add("body", progress.length);
    if (!progress.target.empty())
        context.line.add("request_file", progress.target);
    // An empty request is sent whole by its header.
    if (status == 0 && progress.length == 0 && !progress.target.empty()) {
        Tunnel(context.dir).take(progress.target);
        context.line.add("taken", progress.target);
    }
    Bytes header = le32(static_cast<std::uint32_t>(status));
    const Bytes size = le32(progress.length);
    header.insert(header.end(), size.begin(), size.end());
    VendorAnswer answer = send_at_most(exchange, std::move(header));
    answer.ends_command = status != 0 || progress.length == 0;
    progress.stage = kBody;
    return answer;
}

VendorAnswer send_body_piece(std::string_view name, const VendorExchange& exchange, UsbCommandInProgress& progress,
                             CommandContext& context)
{
    const Piece piece = next_piece(progress.length, progress.moved);
    if (auto wrong = expect_piece(name, exchange, true, piece))
        return *wrong;
    context.line.add("offset", progress.moved);
    const Tunnel tunnel(context.dir);
    VendorAnswer answer;
    if (tunnel.read_request(progress.target, progress.moved, piece.size, answer.data) != 0)
        return refuse(scsi::kInternalFailure, "cannot read " + progress.target + " of tunnel/");
    progress.moved += piece.size;
    if (progress.moved == progress.length) {
        tunnel.take(progress.target);
        context.line.add("taken", progress.target);
        answer.ends_command = true;
    }
    return answer;
}

// The whole response is kept under its name; the header comes next.
VendorAnswer response_received(UsbCommandInProgress& progress, const Tunnel& tunnel)
{
    if (tunnel.finish_response(progress.target) != 0)
        return refuse(scsi::kInternalFailure, "cannot keep " + progress.target + " of tunnel/responses/");
    choose_body(progress, tunnel);
    return {};
}

// A request too large for the header's signed size is not offered.
bool fits_header(const UsbCommandInProgress& progress)
{
    return progress.length <= static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max());
}

}  // namespace

VendorAnswer run_tunnel_request(const VendorExchange& exchange, UsbCommandInProgress& progress, CommandContext& context)
{
    constexpr std::string_view kName = "http_request";
    if (progress.step == 0) {
        if (auto wrong = expect(kName, exchange, false, kOpening))
            return *wrong;
        if (auto wrong = expect_size(exchange, kSelectionBlockSize, kSelectionBlockSize))
            return *wrong;
        const auto second = exchange.data.begin() + kSelectionFieldSize;
        context.line.add("first_text", text_of(Bytes(exchange.data.begin(), second)))
            .add("second_text", text_of(Bytes(second, exchange.data.end())));
        choose_body(progress, Tunnel(context.dir));
        if (!fits_header(progress))
            return refuse(scsi::kInternalFailure, progress.target + " is too large to send");
        return {};
    }
    if (progress.stage == kHeader)
        return send_header(kName, exchange, progress, 0, context);
    return send_body_piece(kName, exchange, progress, context);
}

VendorAnswer run_tunnel_response(const VendorExchange& exchange, UsbCommandInProgress& progress,
                                 CommandContext& context)
{
    constexpr std::string_view kName = "http_response";
    const Tunnel tunnel(context.dir);
    if (progress.step == 0) {
        if (auto wrong = expect(kName, exchange, false, kOpening))
            return *wrong;
        if (auto wrong = expect_size(exchange, 4, 4))
            return *wrong;
        const std::uint32_t length = read_le32(exchange.data);
        context.line.add("response_length", length);
        if (length > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()))
            return refuse(scsi::kInvalidCdbField, "a response of " + std::to_string(length) + " bytes");
        if (tunnel.begin_response(progress.target) != 0)
            return refuse(scsi::kInternalFailure, "cannot make a response file in tunnel/responses/");
        context.line.add("response_file", progress.target);
        progress.length = length;
        progress.moved = 0;
        progress.stage = kResponse;
        if (length == 0)
            return response_received(progress, tunnel);
        return {};
    }
    if (progress.stage == kResponse) {
        Piece piece = next_piece(progress.length, progress.moved);
        piece.phase = kContinuing;
        if (auto wrong = expect_piece(kName, exchange, false, piece))
            return *wrong;
        context.line.add("offset", progress.moved);
        if (tunnel.write_response(progress.target, progress.moved, exchange.data) != 0)
            return refuse(scsi::kInternalFailure, "cannot write " + progress.target + " of tunnel/responses/");
        progress.moved += piece.size;
        if (progress.moved == progress.length)
            return response_received(progress, tunnel);
        return {};
    }
    if (progress.stage == kHeader) {
        if (!fits_header(progress))
            return refuse(scsi::kInternalFailure, progress.target + " is too large to send");
        const std::int32_t status = context.content.tunnel_status;
        context.content.tunnel_status = 0;
        return send_header(kName, exchange, progress, status, context);
    }
    return send_body_piece(kName, exchange, progress, context);
}

void drop_unfinished_response(const UsbCommandInProgress& progress, const std::string& dir)
{
    if (progress.code == kHttpResponse && progress.stage == kResponse && !progress.target.empty())
        Tunnel(dir).drop_response(progress.target);
}

}  // namespace vreader::usb
